// Where each kind of child starts, and which temporary folder it sees, in
// whole launcher runs started from a folder of the test's own (as from a
// Downloads folder): the payload programs (a redistributable, a legacy
// uninstaller) in the work folder with TMP and TEMP at its protected "tmp"
// folder; Windows Installer (a recording stand-in in place of the prefix's
// msiexec.exe, see CMakeLists.txt) and the program that opens packages
// through the shell (a recording stand-in registered as the open action) in
// the launcher's own folder with the launcher's TMP and TEMP, so that a
// relative path in the installer arguments keeps its meaning.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "staging_fixtures.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

struct Child {
    const wchar_t* program;
    bool payload; // started from the work folder
};

struct ChildCase {
    const char* story;
    const wchar_t* switches; // the launcher's command line after its name
    std::vector<Child> children;
};

void PrintTo(const ChildCase& c, std::ostream* os)
{
    *os << c.story;
}

class ChildFolders : public ::testing::TestWithParam<ChildCase> {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryW(m_downloads.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(m_launcherTemp.c_str(), nullptr));
        ASSERT_TRUE(CopyStandin(m_opener));
        m_open.emplace(L"\"" + m_opener + L"\" \"%1\"");
        ASSERT_TRUE(m_open->ok());
        m_msiexec.emplace();
        ASSERT_TRUE(m_msiexec->ok()) << "run through CTest (see CMakeLists.txt)";
    }
    void TearDown() override
    {
        m_msiexec.reset();
        m_open.reset();
    }
    TestMachine m_machine;
    TempDir m_temp;
    const std::wstring m_downloads = m_temp / L"Downloads";
    const std::wstring m_launcherTemp = m_temp / L"temp";
    const std::wstring m_opener = m_temp / L"package_opener.exe";
    const std::wstring m_log = m_temp / L"children.log";
    std::optional<OpenActionOverride> m_open;
    std::optional<SystemMsiexecStandin> m_msiexec;
};

TEST_P(ChildFolders, PayloadsStartInTheWorkFolderAndInstallersWhereTheLauncherDid)
{
    const ChildCase& c = GetParam();
    const auto result =
        RunProcess(Launcher(L"staging_launcher_children") + L" " + c.switches,
                   {{L"STANDIN_LOG", m_log}, {L"TMP", m_launcherTemp}, {L"TEMP", m_launcherTemp}}, 180000, m_downloads);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);

    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(c.children.size(), records.size()) << c.story;
    std::wstring workFolder;
    for (size_t i = 0; i < records.size(); ++i) {
        const StandinRecord& record = records[i];
        SCOPED_TRACE(WideToUtf8(record.program));
        EXPECT_EQ(c.children[i].program, record.program);
        if (!c.children[i].payload) {
            EXPECT_EQ(m_downloads, record.directory);
            EXPECT_EQ(m_launcherTemp, record.tmp);
            EXPECT_EQ(m_launcherTemp, record.temp);
            continue;
        }
        // One work folder for all payload programs, directly in the
        // launcher's temporary folder, named by a UUID.
        if (workFolder.empty())
            workFolder = record.directory;
        EXPECT_EQ(workFolder, record.directory);
        const std::wstring parent = m_launcherTemp + L"\\";
        ASSERT_EQ(parent, record.directory.substr(0, parent.size()));
        EXPECT_TRUE(staging_fixtures::IsUuidText(record.directory.substr(parent.size())));
        EXPECT_EQ(workFolder + L"\\tmp", record.tmp);
        EXPECT_EQ(workFolder + L"\\tmp", record.temp);
    }
    EXPECT_TRUE(ListNames(m_launcherTemp).empty()) << "the work folder was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChildFolders,
    ::testing::Values(ChildCase{"unattended: the payloads, then Windows Installer",
                                L"-quiet",
                                {{L"vcredist_x86.exe", true}, {L"kv_isu.exe", true}, {L"msiexec.exe", false}}},
                      ChildCase{
                          "with Windows Installer's interface: the payloads, then the package opened through the shell",
                          L"",
                          {{L"vcredist_x86.exe", true}, {L"kv_isu.exe", true}, {L"package_opener.exe", false}}}));

} // namespace
