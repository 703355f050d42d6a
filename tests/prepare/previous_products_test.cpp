// RemovePreviousProducts with the product's own (empty) list, with test lists
// run against a recording stand-in for msiexec, and with a test package that
// the real msiexec installs and removes.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "framework/path_text.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "prepare/previous_products.h"
#include "registry/registry_key.h"
#include "tests/support/raw_registry.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::BinDir;
using testing_support::ReadStandinLog;
using testing_support::RunProcess;
using testing_support::TempDir;

std::wstring UninstallEntry(const std::wstring& code)
{
    return std::wstring(product::kUninstallList) + kPathSeparator + code;
}

// The stand-in in place of the system's msiexec, recording into a log of
// its own and exiting with `exitCode`.
class RecordingMsiexec {
  public:
    explicit RecordingMsiexec(const wchar_t* exitCode) : m_exitCode(L"STANDIN_EXIT_msiexec", exitCode) {}
    RecordingMsiexec(const RecordingMsiexec&) = delete;
    RecordingMsiexec& operator=(const RecordingMsiexec&) = delete;

    bool ok() const { return m_standin.ok(); }
    std::vector<std::wstring> Runs() const
    {
        std::vector<std::wstring> runs;
        for (const auto& record : ReadStandinLog(m_dir / L"children.log"))
            runs.push_back(record.program + L" " + record.arguments);
        return runs;
    }

  private:
    TempDir m_dir;
    testing_support::ScopedEnv m_log{L"STANDIN_LOG", m_dir / L"children.log"};
    testing_support::ScopedEnv m_exitCode;
    testing_support::SystemMsiexecStandin m_standin;
};

class ProductList : public ::testing::TestWithParam<bool> {};

// The product lists no earlier product: nothing is looked up and nothing runs.
// Its unused entry is the empty string, whose Uninstall path names the
// Uninstall list itself, which exists: reading that entry would run msiexec.
TEST_P(ProductList, RunsNothing)
{
    ASSERT_TRUE(KeyExists(UninstallEntry(L""), GetParam()));
    RecordingMsiexec msiexec(L"0");
    ASSERT_TRUE(msiexec.ok()) << "run through CTest (see CMakeLists.txt)";
    CInstallerLauncher app;
    app.m_bWow64 = GetParam();

    EXPECT_EQ(0, RemovePreviousProducts(app));

    EXPECT_TRUE(msiexec.Runs().empty());
}

INSTANTIATE_TEST_SUITE_P(Wow64AndNative, ProductList, ::testing::Bool());

struct ListCase {
    bool wow64;
    const wchar_t* exitCode;
    int failures;
    const char* story;
};

class TestList : public ::testing::TestWithParam<ListCase> {};

// Three listed products, the middle one not installed; the list for the
// machine's kind is used, and each run's result is counted on its own.
TEST_P(TestList, RemovesTheInstalledOnesInOrderAndCountsFailures)
{
    static const wchar_t* const codes32[] = {L"{11111111-0000-0000-0000-000000000032}",
                                             L"{22222222-0000-0000-0000-000000000032}",
                                             L"{33333333-0000-0000-0000-000000000032}"};
    static const wchar_t* const codes64[] = {L"{11111111-0000-0000-0000-000000000064}",
                                             L"{22222222-0000-0000-0000-000000000064}",
                                             L"{33333333-0000-0000-0000-000000000064}"};
    const ListCase& c = GetParam();
    testing_support::ScratchRegistry registry;
    ASSERT_TRUE(registry.ok());
    for (const auto* list : {codes32, codes64}) {
        ASSERT_TRUE(testing_support::CreateKeyRaw(UninstallEntry(list[0])));
        ASSERT_TRUE(testing_support::CreateKeyRaw(UninstallEntry(list[2])));
    }
    RecordingMsiexec msiexec(c.exitCode);
    ASSERT_TRUE(msiexec.ok()) << "run through CTest (see CMakeLists.txt)";

    EXPECT_EQ(c.failures, RemovePreviousProducts(c.wow64, PreviousProductList{codes32, codes64, 3})) << c.story;

    const wchar_t* const* used = c.wow64 ? codes64 : codes32;
    const std::vector<std::wstring> expected = {L"msiexec.exe /passive /X " + std::wstring(used[0]),
                                                L"msiexec.exe /passive /X " + std::wstring(used[2])};
    EXPECT_EQ(expected, msiexec.Runs()) << c.story;
}

INSTANTIATE_TEST_SUITE_P(Table, TestList,
                         ::testing::Values(ListCase{false, L"0", 0, "native Windows, both removals succeed"},
                                           ListCase{true, L"0", 0, "WOW64, both removals succeed"},
                                           ListCase{false, L"1603", 2, "both removals fail"},
                                           ListCase{true, L"-1", 2, "an exit code of -1 is a failure too"}));

std::wstring PackageProductCode(const std::wstring& package)
{
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS)
        return L"";
    std::wstring code;
    MSIHANDLE view = 0;
    if (MsiDatabaseOpenViewW(database, L"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", &view) ==
            ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        MSIHANDLE record = 0;
        if (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            wchar_t text[64] = {};
            DWORD size = 64;
            if (MsiRecordGetStringW(record, 1, text, &size) == ERROR_SUCCESS)
                code = text;
            MsiCloseHandle(record);
        }
        MsiCloseHandle(view);
    }
    MsiCloseHandle(database);
    return code;
}

bool Installed(const std::wstring& code)
{
    return MsiQueryProductStateW(code.c_str()) == INSTALLSTATE_DEFAULT;
}

// Installs the test package with the real msiexec; removes it again when the
// test did not.
class InstalledTestPackage {
  public:
    InstalledTestPackage() : m_path(BinDir() + L"\\earlier-product.msi"), m_code(PackageProductCode(m_path))
    {
        if (!m_code.empty())
            m_result = RunProcess(L"msiexec /i \"" + m_path + L"\" /quiet", {}, 300000);
    }
    ~InstalledTestPackage()
    {
        if (!m_code.empty() && Installed(m_code))
            RunProcess(L"msiexec /x " + m_code + L" /quiet", {}, 300000);
    }
    InstalledTestPackage(const InstalledTestPackage&) = delete;
    InstalledTestPackage& operator=(const InstalledTestPackage&) = delete;

    const std::wstring& code() const { return m_code; }
    DWORD installResult() const { return m_result.exitCode; }

  private:
    std::wstring m_path;
    std::wstring m_code;
    testing_support::ProcessResult m_result;
};

// An Uninstall entry of a product that Windows Installer does not know, so
// that removing it fails; deleted afterwards.
class StrayUninstallEntry {
  public:
    explicit StrayUninstallEntry(const wchar_t* code) : m_path(UninstallEntry(code))
    {
        testing_support::CreateKeyRaw(m_path);
    }
    ~StrayUninstallEntry() { testing_support::DeleteKeyTree(m_path); }
    StrayUninstallEntry(const StrayUninstallEntry&) = delete;
    StrayUninstallEntry& operator=(const StrayUninstallEntry&) = delete;

  private:
    std::wstring m_path;
};

TEST(RealMsiexec, RemovesTheInstalledProductAfterAFailedRemovalAndSkipsTheAbsentOne)
{
    const wchar_t stray[] = L"{0BADC0DE-0000-4000-8000-000000000001}";
    const wchar_t absent[] = L"{0BADC0DE-0000-4000-8000-000000000002}";
    InstalledTestPackage package;
    ASSERT_FALSE(package.code().empty());
    ASSERT_EQ(0u, package.installResult());
    ASSERT_TRUE(Installed(package.code()));
    ASSERT_TRUE(KeyExists(UninstallEntry(package.code()), true));
    StrayUninstallEntry strayEntry(stray);
    ASSERT_FALSE(KeyExists(UninstallEntry(absent), true));

    const wchar_t* const codes[] = {stray, absent, package.code().c_str()};
    // One failure: the stray entry. Running msiexec for the absent code would
    // fail as well and count a second one.
    EXPECT_EQ(1, RemovePreviousProducts(true, PreviousProductList{codes, codes, 3}));

    EXPECT_FALSE(Installed(package.code()));
    EXPECT_FALSE(KeyExists(UninstallEntry(package.code()), true));
}

} // namespace
