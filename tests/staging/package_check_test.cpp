// The check that the held package is the file just written: the decision as
// a table, the check on real files whose name is made to mean something else
// between the writing and the hold, and the package step of a launcher (in
// this process, which carries a one-byte "MSI32") refusing such a package.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "framework/run_log.h"
#include "framework/unique_handle.h"
#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "staging/package_check.h"
#include "staging/package_install.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::PathExists;
using testing_support::TempDir;

const wchar_t kExpected[] = L"C:\\ProgramData\\ZARO\\Installers\\Orbelle\\ZaroInstaller.msi";

struct CheckCase {
    const char* story;
    std::function<void(HeldPackage&, FileIdentity&)> change;
    bool asWritten;
};

class AsWritten : public ::testing::TestWithParam<CheckCase> {};

TEST_P(AsWritten, IsTheHeldFileTheWrittenOne)
{
    FileIdentity written;
    written.known = true;
    written.volumeSerial = 0x5A000000;
    written.indexHigh = 1;
    written.indexLow = 0xA9A083;
    HeldPackage held;
    held.identity = written;
    held.links = 1;
    held.attributes = FILE_ATTRIBUTE_ARCHIVE;
    held.pathKnown = true;
    held.finalPath = std::wstring(L"\\\\?\\") + kExpected;
    GetParam().change(held, written);
    EXPECT_EQ(GetParam().asWritten, IsPackageAsWritten(held, written, kExpected)) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AsWritten,
    ::testing::Values(
        CheckCase{"the file as written", [](HeldPackage&, FileIdentity&) {}, true},
        CheckCase{"another file in its place", [](HeldPackage& h, FileIdentity&) { h.identity.indexLow += 1; }, false},
        CheckCase{"another file, other high index", [](HeldPackage& h, FileIdentity&) { h.identity.indexHigh = 2; },
                  false},
        CheckCase{"a file of another volume", [](HeldPackage& h, FileIdentity&) { h.identity.volumeSerial = 7; },
                  false},
        CheckCase{"no identity from the writing", [](HeldPackage&, FileIdentity& w) { w.known = false; }, false},
        CheckCase{"a second name", [](HeldPackage& h, FileIdentity&) { h.links = 2; }, false},
        CheckCase{"a folder", [](HeldPackage& h, FileIdentity&) { h.attributes = FILE_ATTRIBUTE_DIRECTORY; }, false},
        CheckCase{"a reparse point",
                  [](HeldPackage& h, FileIdentity&) { h.attributes |= FILE_ATTRIBUTE_REPARSE_POINT; }, false},
        CheckCase{"reached through another path",
                  [](HeldPackage& h, FileIdentity&) {
                      h.finalPath = L"\\\\?\\D:\\Elsewhere\\ZARO\\Installers\\Orbelle\\ZaroInstaller.msi";
                  },
                  false},
        CheckCase{"a longer path", [](HeldPackage& h, FileIdentity&) { h.finalPath += L"x"; }, false},
        CheckCase{"the path in other ASCII case",
                  [](HeldPackage& h, FileIdentity&) {
                      h.finalPath = L"\\\\?\\c:\\programdata\\zaro\\INSTALLERS\\orbelle\\zaroinstaller.MSI";
                  },
                  true},
        CheckCase{"the path without its prefix", [](HeldPackage& h, FileIdentity&) { h.finalPath = kExpected; }, true},
        CheckCase{"no final path known (before Vista)",
                  [](HeldPackage& h, FileIdentity&) {
                      h.pathKnown = false;
                      h.finalPath.clear();
                  },
                  true}));

TEST(FinalPath, LosesItsPrefixAndComparesIgnoringOnlyAsciiCase)
{
    EXPECT_EQ(L"C:\\x", WithoutFinalPathPrefix(L"\\\\?\\C:\\x"));
    EXPECT_EQ(L"UNC\\server\\share\\x", WithoutFinalPathPrefix(L"\\\\?\\UNC\\server\\share\\x"));
    EXPECT_EQ(L"C:\\x", WithoutFinalPathPrefix(L"C:\\x"));
    EXPECT_TRUE(SamePathIgnoringAsciiCase(L"C:\\Zaro\\A.msi", L"c:\\ZARO\\a.MSI"));
    // Other letters are compared as they are: a refusal, never another file.
    EXPECT_FALSE(SamePathIgnoringAsciiCase(L"C:\\\u00C9", L"C:\\\u00E9"));
    EXPECT_FALSE(SamePathIgnoringAsciiCase(L"C:\\a", L"C:\\a "));
}

// A file written as the launcher writes the package, with the identity its
// writing handle saw, and then closed.
class Written : public ::testing::Test {
  protected:
    void SetUp() override
    {
        UniqueFileHandle file(
            CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(file.get(), "package", 7, &done, nullptr));
        ASSERT_EQ(0, QueryFileIdentity(file.get(), m_written));
        ASSERT_TRUE(m_written.known);
    }
    int HoldAndCheck(const std::wstring& openAs, const std::wstring& expected)
    {
        UniqueFileHandle hold(
            CreateFileW(openAs.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(hold);
        return CheckHeldPackage(hold.get(), m_written, expected);
    }
    TempDir m_temp;
    const std::wstring m_path = m_temp / L"ZaroInstaller.msi";
    FileIdentity m_written;
};

TEST_F(Written, TheFileJustWrittenPasses)
{
    EXPECT_EQ(0, HoldAndCheck(m_path, m_path));
}

TEST_F(Written, ASecondNameGivenToItBeforeTheHoldIsRefused)
{
    ASSERT_TRUE(CreateHardLinkW((m_temp / L"second.msi").c_str(), m_path.c_str(), nullptr));
    EXPECT_EQ(exit_code::kPackageNotAsWritten, HoldAndCheck(m_path, m_path));
}

TEST_F(Written, AFileSwappedInBeforeTheHoldIsRefused)
{
    // Renamed away rather than deleted: Wine's file index is the Unix inode
    // number, which a new file takes over at once from a deleted one (NTFS
    // counts a sequence number into it); see docs/WINE.md.
    ASSERT_TRUE(MoveFileW(m_path.c_str(), (m_temp / L"renamed.msi").c_str()));
    ASSERT_TRUE(testing_support::WriteFileBytes(m_path, {'o', 't', 'h', 'e', 'r'}));
    EXPECT_EQ(exit_code::kPackageNotAsWritten, HoldAndCheck(m_path, m_path));
}

TEST_F(Written, TheSameFileReachedAnotherWayIsRefused)
{
    // Wine's drive Z: shows the whole Unix file system, so the file has a
    // second path there; its final path names the drive its folder is on.
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (proc == nullptr)
        GTEST_SKIP() << "needs one folder under two drive letters (Wine's Z:)";
    char* unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(proc))(m_path.c_str());
    ASSERT_NE(nullptr, unixName);
    std::wstring other = L"Z:" + testing_support::Utf8ToWide(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    for (wchar_t& c : other)
        if (c == L'/')
            c = L'\\';
    EXPECT_EQ(exit_code::kPackageNotAsWritten, HoldAndCheck(other, other));
    EXPECT_EQ(0, HoldAndCheck(other, m_path)) << "the same file, named where it lies";
}

// The package step of this process: the hook gives the package a second name
// between its writing and its hold.
std::wstring g_secondName;

void GiveASecondName(const std::wstring& path)
{
    CreateHardLinkW(g_secondName.c_str(), path.c_str(), nullptr);
}

TEST(PackageStep, APackageThatIsNotTheOneWrittenIsNotInstalled)
{
    ASSERT_FALSE(PathExists(testing_support::MakerFolder())) << "left behind by another test";
    testing_support::TestMachine machine;
    TempDir temp;
    g_secondName = temp / L"second.msi";
    const std::wstring log = temp / L"run.log";
    ASSERT_TRUE(OpenRunLog(log));
    int status = 0;
    {
        const ScopedOverride<PackageWrittenHook> secondName(g_packageWrittenSeam, &GiveASecondName);
        CInstallerLauncher app;
        app.m_strMsiArgs = L"/i $MSIPATH /quiet";
        status = InstallProductPackage(app);
    }
    CloseRunLog();

    EXPECT_EQ(exit_code::kPackageNotAsWritten, status);
    const std::wstring lines = testing_support::ReadUtf8File(log);
    EXPECT_NE(std::wstring::npos, lines.find(L"Diagnostic: Package check failed (1006)\r\n"))
        << testing_support::WideToUtf8(lines);
    EXPECT_EQ(std::wstring::npos, lines.find(L"Child: ")) << "an installer was started";
}

} // namespace
