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
#include "tests/support/whole_run.h"

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
        m_run.SetCurrentFolder(m_downloads);
        m_run.SetTimeout(180000);
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
    WholeRun m_run;
    const std::wstring m_downloads = m_run.folder() / L"Downloads";
    const std::wstring m_opener = m_run.folder() / L"package_opener.exe";
    std::optional<OpenActionOverride> m_open;
    std::optional<SystemMsiexecStandin> m_msiexec;
};

TEST_P(ChildFolders, PayloadsStartInTheWorkFolderAndInstallersWhereTheLauncherDid)
{
    const ChildCase& c = GetParam();
    const auto result = m_run.Run(L"staging_launcher_children", c.switches);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(0u, result.exitCode);

    const auto& records = result.children;
    ASSERT_EQ(c.children.size(), records.size()) << c.story;
    std::wstring workFolder;
    for (size_t i = 0; i < records.size(); ++i) {
        const StandinRecord& record = records[i];
        SCOPED_TRACE(WideToUtf8(record.program));
        EXPECT_EQ(c.children[i].program, record.program);
        if (!c.children[i].payload) {
            EXPECT_EQ(m_downloads, record.directory);
            EXPECT_EQ(m_run.tmp(), record.tmp);
            EXPECT_EQ(m_run.tmp(), record.temp);
            continue;
        }
        // One work folder for all payload programs, directly in the
        // launcher's temporary folder, named by a UUID.
        if (workFolder.empty())
            workFolder = record.directory;
        EXPECT_EQ(workFolder, record.directory);
        const std::wstring parent = m_run.tmp() + L"\\";
        ASSERT_EQ(parent, record.directory.substr(0, parent.size()));
        EXPECT_TRUE(staging_fixtures::IsUuidText(record.directory.substr(parent.size())));
        EXPECT_EQ(workFolder + L"\\tmp", record.tmp);
        EXPECT_EQ(workFolder + L"\\tmp", record.temp);
    }
    EXPECT_TRUE(result.leftNothing) << "the work folder was left behind";
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
