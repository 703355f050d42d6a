// InstallVCRedist and RunLegacyUninstallers with all four payloads carried by
// this test program ("VC2005_REDIST_32", "VC2005_REDIST_64", "UNINST",
// "UNINST2", each the stand-in). Builds that leave payloads out are covered
// by whole launcher runs (staging_run_test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/installer_launcher.h"
#include "staging/prerequisites.h"
#include "staging/work_folder.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::ListNames;
using testing_support::ReadStandinLog;
using testing_support::ScopedEnv;
using testing_support::TempDir;

// The redistributables' switches, written out here on their own.
const wchar_t kRedist32Args[] = L"/q:a /c:\"vcredist_x86.exe /q:a /c:\"\"msiexec /i vcredist.msi /qb\"\" \"";
const wchar_t kRedist64Args[] = L"/q:a /c:\"vcredist_x64.exe /q:a /c:\"\"msiexec /i vcredist.msi /qb\"\" \"";
static_assert(sizeof(kRedist32Args) / sizeof(wchar_t) == 68, "67 characters");
static_assert(sizeof(kRedist64Args) / sizeof(wchar_t) == 68, "67 characters");

class Steps : public ::testing::Test {
  protected:
    ~Steps() override { DeleteWorkFolder(m_app); }
    std::vector<std::wstring> Ran() const
    {
        std::vector<std::wstring> names;
        for (const auto& record : ReadStandinLog(m_log))
            names.push_back(record.program);
        return names;
    }
    TempDir m_temp;
    const std::wstring m_log = m_temp / L"children.log";
    ScopedEnv m_logEnv{L"STANDIN_LOG", m_log};
    const std::wstring m_tmpDir = m_temp / L"tmp";
    const bool m_made = CreateDirectoryW(m_tmpDir.c_str(), nullptr) != FALSE;
    ScopedEnv m_tmp{L"TMP", m_tmpDir};
    CInstallerLauncher m_app;
};

struct RedistCase {
    bool wow64;
    const wchar_t* exit32;
    const wchar_t* exit64;
    int result;
    std::vector<std::wstring> ran;
    const char* story;
};

class Redist : public Steps, public ::testing::WithParamInterface<RedistCase> {};

TEST_P(Redist, RunsInOrderAndStopsAtTheFirstFailure)
{
    const RedistCase& c = GetParam();
    ScopedEnv exit32(L"STANDIN_EXIT_vcredist_x86", c.exit32);
    ScopedEnv exit64(L"STANDIN_EXIT_vcredist_x64", c.exit64);
    m_app.m_bWow64 = c.wow64;
    EXPECT_EQ(c.result, InstallVCRedist(m_app)) << c.story;
    EXPECT_EQ(c.ran, Ran()) << c.story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Redist,
    ::testing::Values(RedistCase{false, L"0", L"0", 0, {L"vcredist_x86.exe"}, "32-bit Windows"},
                      RedistCase{true, L"0", L"0", 0, {L"vcredist_x86.exe", L"vcredist_x64.exe"}, "64-bit Windows"},
                      RedistCase{true, L"3010", L"0", 3010, {L"vcredist_x86.exe"}, "restart needed stops"},
                      RedistCase{true, L"1", L"0", 1, {L"vcredist_x86.exe"}, "failure stops"},
                      RedistCase{
                          true, L"0", L"1603", 1603, {L"vcredist_x86.exe", L"vcredist_x64.exe"}, "64-bit failure"}));

TEST_F(Steps, RedistributablesGetTheirExactSwitchesAndShareOneWorkFolder)
{
    m_app.m_bWow64 = true;
    ASSERT_EQ(0, InstallVCRedist(m_app));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(kRedist32Args, records[0].arguments);
    EXPECT_EQ(kRedist64Args, records[1].arguments);
    const std::vector<std::wstring> folders = ListNames(m_tmpDir);
    ASSERT_EQ(1u, folders.size());
    ASSERT_EQ(m_tmpDir + L"\\" + folders[0] + L"\\", m_app.m_strWorkFolder);
    EXPECT_EQ((std::vector<std::wstring>{L"tmp", L"vcredist_x64.exe", L"vcredist_x86.exe"}),
              ListNames(m_app.m_strWorkFolder.substr(0, m_app.m_strWorkFolder.size() - 1)));
}

struct UninstCase {
    const wchar_t* exit1;
    const wchar_t* exit2;
    int result;
};

class Uninstallers : public Steps, public ::testing::WithParamInterface<UninstCase> {};

TEST_P(Uninstallers, BothRunAndTheSecondOnesResultCounts)
{
    ScopedEnv exit1(L"STANDIN_EXIT_kv_isu", GetParam().exit1);
    ScopedEnv exit2(L"STANDIN_EXIT_kv_isu2", GetParam().exit2);
    EXPECT_EQ(GetParam().result, RunLegacyUninstallers(m_app));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"kv_isu.exe", records[0].program);
    EXPECT_EQ(L"kv_isu2.exe", records[1].program);
    EXPECT_EQ(L"", records[0].arguments);
    EXPECT_EQ(L"", records[1].arguments);
}

INSTANTIATE_TEST_SUITE_P(Table, Uninstallers,
                         ::testing::Values(UninstCase{L"1", L"0", 0}, UninstCase{L"0", L"7", 7},
                                           UninstCase{L"1", L"2", 2}));

} // namespace
