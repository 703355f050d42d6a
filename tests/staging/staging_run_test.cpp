// Whole launcher runs that stop or go on because of what the staging steps
// report. Each launcher is built with its own payloads (see CMakeLists.txt);
// the stand-in plays every payload program. The launcher's temporary folder
// is redirected (TMP) into the test's own folder, so what it leaves behind is
// visible.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/exit_codes.h"
#include "tests/support/test_support.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::Environment;
using testing_support::WholeRun;

const char kNoPackageLine[] = "LocateResource failed (1813)\r\n";

struct RunCase {
    const char* story;
    const wchar_t* launcher;
    Environment env; // STANDIN_EXIT_<name> choices
    DWORD exitCode;
    std::vector<std::wstring> ran; // programs in the order they ran
    std::string output;            // the launcher's standard output, exactly (the C run time's
                                   // text mode writes each "\n" as CR LF)
};

class Run : public ::testing::TestWithParam<RunCase> {};

TEST_P(Run, EndsWithTheRightCodeAndLeavesNoWorkFolder)
{
    const RunCase& c = GetParam();
    WholeRun run;
    run.SetTimeout(60000);

    const auto result = run.Run(c.launcher, L"-quiet", c.env);
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut) << c.story;
    EXPECT_EQ(c.exitCode, result.exitCode) << c.story;
    EXPECT_EQ(c.output, result.output) << c.story;
    EXPECT_EQ(c.ran, result.Programs()) << c.story;
    EXPECT_TRUE(result.leftNothing) << c.story << ": the work folder was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Run,
    ::testing::Values(RunCase{"a restart request from the 32-bit redistributable ends the run, as a failure",
                              L"staging_launcher_redist",
                              {{L"STANDIN_EXIT_vcredist_x86", L"3010"}},
                              static_cast<DWORD>(exit_code::kFailRebootRequired),
                              {L"vcredist_x86.exe"},
                              ""},
                      RunCase{"a failing legacy uninstaller ends the run",
                              L"staging_launcher_redist",
                              {{L"STANDIN_EXIT_kv_isu", L"4"}},
                              4,
                              {L"vcredist_x86.exe", L"kv_isu.exe"},
                              ""},
                      RunCase{"the second uninstaller's 0 outweighs the first one's 1: the run goes on to the package",
                              L"staging_launcher_two_uninst",
                              {{L"STANDIN_EXIT_kv_isu", L"1"}, {L"STANDIN_EXIT_kv_isu2", L"0"}},
                              1813,
                              {L"kv_isu.exe", L"kv_isu2.exe"},
                              kNoPackageLine},
                      RunCase{"the second uninstaller's failure ends the run",
                              L"staging_launcher_two_uninst",
                              {{L"STANDIN_EXIT_kv_isu", L"0"}, {L"STANDIN_EXIT_kv_isu2", L"2"}},
                              2,
                              {L"kv_isu.exe", L"kv_isu2.exe"},
                              ""},
                      RunCase{"UNINST2 without UNINST never runs",
                              L"staging_launcher_uninst2_only",
                              {{L"STANDIN_EXIT", L"5"}},
                              1813,
                              {},
                              kNoPackageLine},
                      RunCase{"a package resource of size 0 fails with a code of its own, never 0",
                              L"staging_launcher_empty_package",
                              {},
                              static_cast<DWORD>(exit_code::kFailureWithoutCode),
                              {},
                              "LocateResource failed (-2147467259)\r\n"}));

TEST(RunWithUnwritableTemp, StopsAfterTheBoundedNameAttempts)
{
    WholeRun run;
    run.SetTimeout(60000);
    const std::wstring missing = run.folder() / L"missing\\folder";
    const auto result = run.Run(L"staging_launcher_redist", L"-quiet", {{L"TMP", missing}, {L"TEMP", missing}});
    ASSERT_TRUE(result.started) << "CreateProcess failed with " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), result.exitCode);
    EXPECT_EQ("CreateDirectory failed (3)\r\n", result.output);
    EXPECT_TRUE(run.Records().empty());
}

} // namespace
