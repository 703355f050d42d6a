// The process exit code of whole runs, as a deployment tool reads it: which
// result of which step reaches it, and in what form. The stand-in plays the
// redistributable, the legacy uninstaller and Windows Installer (a recording
// msiexec in the system folder), each with the exit code a row chooses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/exit_codes.h"
#include "tests/support/test_machine.h"
#include "tests/support/test_support.h"
#include "tests/support/whole_run.h"

namespace {

using testing_support::Environment;
using testing_support::SystemMsiexecStandin;
using testing_support::TestMachine;
using testing_support::WholeRun;

struct ExitCase {
    const char* story;
    const wchar_t* redist;    // exit code of vcredist_x86.exe
    const wchar_t* uninst;    // exit code of kv_isu.exe
    const wchar_t* installer; // exit code of msiexec.exe
    DWORD exitCode;
    std::vector<std::wstring> ran; // programs in the order they ran
};

void PrintTo(const ExitCase& c, std::ostream* os)
{
    *os << c.story;
}

// Whole runs with -quiet, the stand-ins recording and Windows Installer
// replaced by the recording msiexec.
class WholeRuns : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_msiexec.ok()); }

    TestMachine m_machine; // the package folder and the driver's keys go afterwards
    SystemMsiexecStandin m_msiexec;
    WholeRun m_run;
};

class ExitCode : public WholeRuns, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCode, TellsTheDeploymentToolWhatHappened)
{
    const ExitCase& c = GetParam();
    Environment env;
    env[L"STANDIN_EXIT_vcredist_x86"] = c.redist;
    env[L"STANDIN_EXIT_kv_isu"] = c.uninst;
    env[L"STANDIN_EXIT_msiexec"] = c.installer;
    const auto run = m_run.Run(L"launcher_exit_codes", L"-quiet", env);
    ASSERT_TRUE(run.started) << "CreateProcess failed with " << run.startError;
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(c.exitCode, run.exitCode);
    EXPECT_EQ(c.ran, run.Programs());
    EXPECT_EQ("", run.output);
    EXPECT_TRUE(run.leftNothing) << "the work folder was left behind";
}

const std::vector<std::wstring> kAll = {L"vcredist_x86.exe", L"kv_isu.exe", L"msiexec.exe"};
const std::vector<std::wstring> kRedistOnly = {L"vcredist_x86.exe"};
const std::vector<std::wstring> kNoInstaller = {L"vcredist_x86.exe", L"kv_isu.exe"};
constexpr DWORD kFailRebootRequired = exit_code::kFailRebootRequired;
constexpr DWORD kFailRebootInitiated = exit_code::kFailRebootInitiated;

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCode,
    ::testing::Values(
        ExitCase{"everything succeeds", L"0", L"0", L"0", 0, kAll},
        // A prerequisite's restart ends the run before the product: never a success code.
        ExitCase{"the redistributable needs a restart", L"3010", L"0", L"0", kFailRebootRequired, kRedistOnly},
        ExitCase{"the redistributable started a restart", L"1641", L"0", L"0", kFailRebootInitiated, kRedistOnly},
        ExitCase{"the uninstaller needs a restart", L"0", L"3010", L"0", kFailRebootRequired, kNoInstaller},
        ExitCase{"the uninstaller started a restart", L"0", L"1641", L"0", kFailRebootInitiated, kNoInstaller},
        // Every other failure of theirs ends the run with its own code.
        ExitCase{"the redistributable fails", L"1603", L"0", L"0", 1603, kRedistOnly},
        ExitCase{"the uninstaller fails", L"0", L"5", L"0", 5, kNoInstaller},
        ExitCase{"a redistributable's own 3017 stays 3017", L"3017", L"0", L"0", kFailRebootRequired, kRedistOnly},
        // The package installation's result is the truth about the product.
        ExitCase{"installed, restart needed", L"0", L"0", L"3010", 3010, kAll},
        ExitCase{"installed, restart started", L"0", L"0", L"1641", 1641, kAll},
        ExitCase{"the installation fails", L"0", L"0", L"1603", 1603, kAll},
        ExitCase{"another installation is in progress", L"0", L"0", L"1618", 1618, kAll}));

// A payload whose bytes on disk are not the ones carried (the launcher's
// digest for it is wrong on purpose, as if a filter driver had changed the
// file after its writing): nothing runs or installs from it, the run says so
// in one line and ends with the named code.
struct DigestCase {
    const char* story;
    const wchar_t* launcher;
    std::vector<std::wstring> ran;
};

void PrintTo(const DigestCase& c, std::ostream* os)
{
    *os << c.story;
}

class WrongDigest : public WholeRuns, public ::testing::WithParamInterface<DigestCase> {};

TEST_P(WrongDigest, NothingFromThePayloadRunsAndTheRunFailsWithTheNamedCode)
{
    const DigestCase& c = GetParam();
    const auto run = m_run.Run(c.launcher);
    ASSERT_TRUE(run.started) << "CreateProcess failed with " << run.startError;
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(static_cast<DWORD>(exit_code::kPayloadNotAsCarried), run.exitCode);
    EXPECT_EQ("Payload check failed (323)\r\n", run.output);
    EXPECT_EQ(c.ran, run.Programs());
    EXPECT_TRUE(run.leftNothing) << "the work folder was left behind";
}

INSTANTIATE_TEST_SUITE_P(Table, WrongDigest,
                         ::testing::Values(DigestCase{"the redistributable", L"launcher_wrong_redist_digest", {}},
                                           DigestCase{"the package",
                                                      L"launcher_wrong_package_digest",
                                                      {L"vcredist_x86.exe", L"kv_isu.exe"}}));

// Presses away the windows of one process and counts them.
class WindowCloser {
  public:
    explicit WindowCloser(DWORD pid) : m_pid(pid) {}
    // Closes the visible windows of the process; returns how many there were.
    int CloseAll()
    {
        m_found = 0;
        EnumWindows(&WindowCloser::Visit, reinterpret_cast<LPARAM>(this));
        return m_found;
    }

  private:
    static BOOL CALLBACK Visit(HWND window, LPARAM self)
    {
        auto* closer = reinterpret_cast<WindowCloser*>(self);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == closer->m_pid && IsWindowVisible(window)) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            ++closer->m_found;
        }
        return TRUE;
    }
    DWORD m_pid;
    int m_found = 0;
};

struct BoxRun {
    DWORD exitCode = 0;
    int boxes = 0; // windows of the launcher that had to be closed
    bool leftNothing = false;
};

// Runs the launcher whose redistributable is not a program with `switches`,
// closing whatever window it shows, for at most a minute.
BoxRun RunNotAProgram(const std::wstring& switches)
{
    BoxRun run;
    const WholeRun launcher;
    DWORD pid = 0;
    UniqueKernelHandle process = launcher.Start(L"launcher_not_a_program", switches, {}, &pid);
    EXPECT_TRUE(process);
    if (!process)
        return run;
    WindowCloser closer(pid);
    DWORD wait = WAIT_TIMEOUT;
    for (int i = 0; i < 600 && wait == WAIT_TIMEOUT; ++i) {
        run.boxes += closer.CloseAll();
        wait = WaitForSingleObject(process.get(), 100);
    }
    EXPECT_EQ(WAIT_OBJECT_0, wait) << "the launcher did not end within a minute";
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &run.exitCode));
    run.leftNothing = launcher.LeftNothing();
    return run;
}

// A payload the shell cannot start, as a program that policy blocks: in an
// unattended run the shell shows no error box (which nobody could close under
// a deployment service, and the run would wait for ever), and the run ends at
// once with the start's code. Under Xvfb a box would be seen here.
TEST(UnattendedRun, APayloadThatCannotStartEndsTheRunWithoutABox)
{
    const BoxRun run = RunNotAProgram(L"-quiet");
    EXPECT_EQ(0, run.boxes) << "the launcher showed a box in an unattended run";
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), run.exitCode);
    EXPECT_TRUE(run.leftNothing) << "the work folder was left behind";
}

// A run with someone at the screen keeps the shell's own box; this also shows
// that the test above would see a box if one came.
TEST(AttendedRun, APayloadThatCannotStartShowsTheShellsBox)
{
    const BoxRun run = RunNotAProgram(L"");
    EXPECT_LE(1, run.boxes);
    EXPECT_NE(0u, run.exitCode);
    EXPECT_TRUE(run.leftNothing) << "the work folder was left behind";
}

} // namespace
