// The package installation in whole launcher runs: the real msiexec installing
// the real test package, the shell's open action for packages, and the exact
// msiexec command line (seen through a recording stand-in put in place of the
// prefix's own msiexec for one test). The launcher carries the test package
// "Orbelle Staging Test" 1.0.7 as "MSI32" (the 64-bit test build is never a
// WOW64 process).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "launcher/product_constants.h"
#include "tests/support/raw_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::BinDir;
using testing_support::CopyStandin;
using testing_support::GetTextRaw;
using testing_support::InstalledPackagePath;
using testing_support::KillProcesses;
using testing_support::MakerFolder;
using testing_support::OpenActionOverride;
using testing_support::PathExists;
using testing_support::RunProcess;
using testing_support::SubkeyNamesRaw;
using testing_support::WaitForRecords;
using testing_support::WholeRun;

const wchar_t kProductName[] = L"Orbelle Staging Test";
using product::kUninstallList;

const wchar_t kLauncher[] = L"staging_launcher_package";

// The Uninstall entry of the test product: its key name (the product code)
// and "DisplayVersion"; empty when it is not installed.
struct UninstallEntry {
    std::wstring productCode;
    std::wstring version;
};

UninstallEntry FindTestProduct()
{
    UninstallEntry found;
    for (const std::wstring& code : SubkeyNamesRaw(kUninstallList)) {
        const std::wstring entry = std::wstring(kUninstallList) + L"\\" + code;
        if (GetTextRaw(entry, L"DisplayName") == kProductName) {
            found.productCode = code;
            found.version = GetTextRaw(entry, L"DisplayVersion");
        }
    }
    return found;
}

class Package : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(PathExists(MakerFolder())) << "left behind by another test";
        ASSERT_TRUE(FindTestProduct().productCode.empty()) << "test product installed by another test";
    }
    void TearDown() override
    {
        const UninstallEntry entry = FindTestProduct();
        if (!entry.productCode.empty())
            RunProcess(L"msiexec /x " + entry.productCode + L" /quiet", {}, 120000);
        testing_support::RemoveDriverTraces();
    }
    WholeRun m_run;
};

TEST_F(Package, QuietInstallsTheRealPackageWithTheRealWindowsInstaller)
{
    m_run.SetTimeout(180000);
    const auto result = m_run.Run(kLauncher);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(static_cast<DWORD>(exit_code::kSuccess), result.exitCode);
    EXPECT_EQ("", result.output);

    const UninstallEntry entry = FindTestProduct();
    ASSERT_FALSE(entry.productCode.empty()) << "no Uninstall entry";
    EXPECT_EQ(L"1.0.7", entry.version);
    EXPECT_TRUE(PathExists(InstalledPackagePath()));

    // Removing it again with Windows Installer leaves nothing behind.
    const auto removal = RunProcess(L"msiexec /x " + entry.productCode + L" /quiet", {}, 120000);
    EXPECT_EQ(0u, removal.exitCode);
    EXPECT_TRUE(FindTestProduct().productCode.empty());
}

// Opened through the shell with the machine's registration, never a user's
// of either kind. Wine shows nothing of the user's registrations in
// HKEY_CLASSES_ROOT (docs/WINE.md), so this run cannot tell the machine's
// look-up from the shell's; package_opening_test does, with HKLM redirected.
TEST_F(Package, WithoutArgumentsThePackageIsOpenedThroughTheMachinesRegistration)
{
    const std::wstring opener = m_run.folder() / L"package_opener.exe";
    const std::wstring userOpener = m_run.folder() / L"user_opener.exe";
    ASSERT_TRUE(CopyStandin(opener));
    ASSERT_TRUE(CopyStandin(userOpener));
    // Only "%1": opened with its class key, Wine expands "%*" to the file
    // rather than to the (empty) parameters (docs/WINE.md).
    OpenActionOverride command(L"\"" + opener + L"\" \"%1\"");
    ASSERT_TRUE(command.ok());
    testing_support::PerUserPackageRegistration user(L"\"" + userOpener + L"\" \"%1\"");
    ASSERT_TRUE(user.ok());

    const auto result = m_run.Run(kLauncher, L"", {{L"STANDIN_EXIT_package_opener", L"1602"}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(1602u, result.exitCode);
    const auto& records = result.children;
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"package_opener.exe", records[0].program);
    EXPECT_EQ(L"\"" + InstalledPackagePath() + L"\"", records[0].arguments);
    EXPECT_TRUE(FindTestProduct().productCode.empty());
}

// While Windows Installer (here the program registered for opening packages,
// kept running) has the package, nobody can write, delete or rename it;
// reading it, as Windows Installer does, stays possible. Afterwards the hold
// is gone.
TEST_F(Package, WhileThePackageIsBeingInstalledItCannotBeReplaced)
{
    const std::wstring opener = m_run.folder() / L"package_opener.exe";
    ASSERT_TRUE(CopyStandin(opener));
    OpenActionOverride command(L"\"" + opener + L"\" \"%1\"");
    ASSERT_TRUE(command.ok());
    const UniqueKernelHandle launcher = m_run.Start(kLauncher, L"", {{L"STANDIN_WAIT_package_opener", L"1"}});
    ASSERT_TRUE(launcher.valid());
    WaitForRecords(m_run.log(), 1, 30000);
    ASSERT_EQ(1u, m_run.Records().size()) << "the package was never opened";

    const std::wstring package = InstalledPackagePath();
    SetLastError(ERROR_SUCCESS);
    UniqueFileHandle writer(CreateFileW(package.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer.get());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(DeleteFileW(package.c_str()));
    EXPECT_FALSE(MoveFileW(package.c_str(), (m_run.folder() / L"moved.msi").c_str()));
    UniqueFileHandle reader(
        CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(INVALID_HANDLE_VALUE, reader.get());
    reader.reset(); // the test's own hold must not count below

    EXPECT_EQ(1u, KillProcesses(L"package_opener.exe", 0, 1602));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(launcher.get(), 60000));
    writer.reset(CreateFileW(package.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(INVALID_HANDLE_VALUE, writer.get()) << "still held after the run: " << GetLastError();
}

// The recording stand-in in place of the prefix's msiexec.exe for one test
// (testing_support::SystemMsiexecStandin); CMakeLists.txt sets the override
// that Wine needs for it. The original is back before the fixture's own
// clean-up runs the real msiexec.
class RecordingMsiexec : public Package {
  protected:
    void SetUp() override
    {
        Package::SetUp();
        m_msiexec.emplace();
        ASSERT_TRUE(m_msiexec->ok()) << "run through CTest (see CMakeLists.txt)";
    }
    void TearDown() override
    {
        m_msiexec.reset();
        Package::TearDown();
    }
    std::optional<testing_support::SystemMsiexecStandin> m_msiexec;
};

struct ArgsCase {
    const char* story;
    const wchar_t* switches; // the launcher's command line after its name
    const wchar_t* expected; // msiexec's arguments; "@" stands for the package path
};

class MsiArgs : public RecordingMsiexec, public ::testing::WithParamInterface<ArgsCase> {};

TEST_P(MsiArgs, ReachWindowsInstallerWithThePathFilledIn)
{
    const auto result = m_run.Run(kLauncher, GetParam().switches, {{L"STANDIN_EXIT_msiexec", L"1603"}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(1603u, result.exitCode) << "the installation's result is the exit code";

    std::wstring expected = GetParam().expected;
    for (size_t at = expected.find(L'@'); at != std::wstring::npos; at = expected.find(L'@', at))
        expected.replace(at, 1, InstalledPackagePath());
    const auto& records = result.children;
    ASSERT_EQ(1u, records.size()) << GetParam().story;
    EXPECT_EQ(L"msiexec.exe", records[0].program);
    EXPECT_EQ(expected, records[0].arguments) << GetParam().story;
    EXPECT_TRUE(PathExists(InstalledPackagePath()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MsiArgs,
    ::testing::Values(ArgsCase{"quiet", L"-quiet", L"/i \"@\" /quiet"},
                      ArgsCase{"token twice", L"-msiargs #/i $MSIPATH /l*v x.log PATCH=$MSIPATH#",
                               L"/i \"@\" /l*v x.log PATCH=\"@\""},
                      ArgsCase{"lower-case token", L"-msiargs #/i $msipath /quiet#", L"/i $msipath /quiet"},
                      ArgsCase{"token already quoted", L"-msiargs #/i \"$MSIPATH\" /quiet#", L"/i \"\"@\"\" /quiet"},
                      ArgsCase{"no token", L"-msiargs #/l*v C:\\x.log#", L"/l*v C:\\x.log"}));

// A msiexec.exe beside the launcher (a Downloads folder) must never run: the
// shell would find it before the system's own for the bare name.
TEST_F(Package, APlantedMsiexecBesideTheLauncherIsNotRun)
{
    const std::wstring folder = m_run.folder() / L"Downloads";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring launcher = folder + L"\\OrbelleSetup.exe";
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\staging_launcher_package.exe").c_str(), launcher.c_str(), FALSE));
    ASSERT_TRUE(CopyStandin(folder + L"\\msiexec.exe"));

    // Removing a product that is not installed: the real msiexec ends at once.
    m_run.SetCurrentFolder(folder);
    const auto result = m_run.RunProgram(launcher, L"-msiargs #/x {6F1C2B9E-0000-4000-8000-000000000000} /quiet#",
                                         {{L"STANDIN_EXIT", L"77"}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(result.children.empty()) << "the planted msiexec.exe ran";
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRODUCT), result.exitCode);
}

TEST_F(Package, APackageHeldOpenIsReportedAndItsCodeEndsTheRun)
{
    ASSERT_EQ(ERROR_SUCCESS,
              SHCreateDirectoryExW(nullptr, (MakerFolder() + L"\\Installers\\Orbelle").c_str(), nullptr));
    UniqueFileHandle held(
        CreateFileW(InstalledPackagePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(held.valid());
    const auto result = m_run.Run(kLauncher);
    held.reset();
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    EXPECT_EQ("CreateFile failed (32)\r\n", result.output);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), result.exitCode);
    EXPECT_TRUE(FindTestProduct().productCode.empty());
}

} // namespace
