// RunProgram, WaitForProcessExit and RunPayloadProgram with real child
// processes: copies of the stand-in program, and its copy carried by this
// test program as the "EXE" resource "STANDIN".
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "launcher/installer_launcher.h"
#include "staging/child_process.h"
#include "staging/work_folder.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::BinDir;
using testing_support::ListNames;
using testing_support::ReadStandinLog;
using testing_support::ScopedEnv;
using testing_support::TempDir;

class Runner : public ::testing::Test {
  protected:
    Runner() { testing_support::CopyStandin(m_probe); }
    TempDir m_temp;
    const std::wstring m_probe = m_temp / L"probe.exe";
    const std::wstring m_log = m_temp / L"children.log";
    ScopedEnv m_logEnv{L"STANDIN_LOG", m_log};
    ScopedEnv m_tmp{L"TMP", m_temp / L"tmp"};
};

class ExitCodes : public Runner, public ::testing::WithParamInterface<int> {};

TEST_P(ExitCodes, ComeBackAsTheyAre)
{
    ScopedEnv exitCode(L"STANDIN_EXIT_probe", std::to_wstring(GetParam()));
    EXPECT_EQ(GetParam(), RunProgram(m_probe, L"/x"));
    EXPECT_EQ(1u, ReadStandinLog(m_log).size());
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitCodes, ::testing::Values(0, 1, 3010));

TEST_F(Runner, ArgumentsArriveUnchangedAndEmptyMeansNone)
{
    const std::wstring args = L"/q:a /c:\"x /y \"\"z\"\" \"";
    ASSERT_EQ(0, RunProgram(m_probe, args));
    ASSERT_EQ(0, RunProgram(m_probe, L""));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(args, records[0].arguments);
    EXPECT_EQ(L"", records[1].arguments);
    EXPECT_EQ(GetCurrentProcessId(), records[1].parentPid);
}

// Presses away the message boxes that the shell shows for a failed start
// (nothing else answers them in a test run), and counts them.
class BoxCloser {
  public:
    BoxCloser()
        : m_thread([this] {
              while (!m_stop) {
                  EnumWindows(&BoxCloser::Close, reinterpret_cast<LPARAM>(this));
                  Sleep(50);
              }
          })
    {
    }
    ~BoxCloser()
    {
        m_stop = true;
        m_thread.join();
    }
    // How many times a visible window of this process was found and closed.
    int closed() const { return m_closed; }

  private:
    static BOOL CALLBACK Close(HWND window, LPARAM self)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(window)) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            ++reinterpret_cast<BoxCloser*>(self)->m_closed;
        }
        return TRUE;
    }
    std::atomic<int> m_closed{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(Runner, AMissingFileGivesTheSystemErrorCode)
{
    BoxCloser closer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RunProgram(m_temp / L"absent.exe", L""));
}

// A file that the shell cannot start (here one that is not a program, as a
// program blocked by policy would be): without an error box the start fails
// at once with its code; with one, the call waits until someone closes it.
TEST_F(Runner, WithoutErrorUiAFailedStartShowsNoBox)
{
    const std::wstring notAProgram = m_temp / L"not_a_program.exe";
    ASSERT_TRUE(testing_support::WriteFileBytes(notAProgram, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'}));
    ChildStart unattended;
    unattended.noErrorUi = true;
    BoxCloser closer;
    const int withoutUi = RunProgram(notAProgram, L"", unattended);
    EXPECT_NE(0, withoutUi);
    EXPECT_EQ(0, closer.closed()) << "the shell showed a box although asked not to";
    const int withUi = RunProgram(notAProgram, L"");
    EXPECT_NE(0, withUi);
    EXPECT_LT(0, closer.closed()) << "no box seen: the check above would not see one either";
    EXPECT_TRUE(ReadStandinLog(m_log).empty());
}

TEST(ChildStartForApp, SuppressesTheBoxExactlyWhenTheRunIsUnattended)
{
    CInstallerLauncher app;
    EXPECT_FALSE(ChildStartFor(app).noErrorUi);
    app.m_strMsiArgs = L"/i $MSIPATH /quiet";
    EXPECT_TRUE(ChildStartFor(app).noErrorUi);
}

TEST_F(Runner, AFailedWaitGivesMinusOneAndClosesTheHandle)
{
    const UniqueKernelHandle owner = testing_support::StartProcess(L"\"" + m_probe + L"\"");
    const HANDLE process = owner.get();
    ASSERT_NE(nullptr, process);
    HANDLE noSync = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &noSync,
                                PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0));
    EXPECT_EQ(-1, WaitForProcessExit(UniqueKernelHandle(noSync)));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(noSync, &flags)) << "the process handle was not closed";
    WaitForSingleObject(process, 30000);
}

TEST_F(Runner, AFailedExitCodeReadGivesItsSystemErrorCode)
{
    const UniqueKernelHandle owner = testing_support::StartProcess(L"\"" + m_probe + L"\"");
    const HANDLE process = owner.get();
    ASSERT_NE(nullptr, process);
    HANDLE syncOnly = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &syncOnly, SYNCHRONIZE, FALSE, 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, WaitForProcessExit(UniqueKernelHandle(syncOnly)));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(syncOnly, &flags));
}

TEST_F(Runner, APayloadRunsFromTheWorkFolder)
{
    CInstallerLauncher app;
    ScopedEnv exitCode(L"STANDIN_EXIT_carried", L"42");
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"tmp").c_str(), nullptr));
    EXPECT_EQ(42, RunPayloadProgram(app, L"STANDIN", L"carried.exe", L"-a b"));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"carried.exe", records[0].program);
    EXPECT_EQ(L"-a b", records[0].arguments);
    EXPECT_EQ(std::vector<std::wstring>{L"carried.exe"},
              ListNames(app.m_strWorkFolder.substr(0, app.m_strWorkFolder.size() - 1)));
    DeleteWorkFolder(app);
}

TEST_F(Runner, AMissingPayloadNeverStartsAProcess)
{
    CInstallerLauncher app;
    EXPECT_EQ(ERROR_RESOURCE_NAME_NOT_FOUND, RunPayloadProgram(app, L"UNINST2", L"kv_isu2.exe", L""));
    EXPECT_TRUE(ReadStandinLog(m_log).empty());
    EXPECT_TRUE(app.m_strWorkFolder.empty());
}

TEST(WindowsInstaller, IsNamedByItsFullPathInTheSystemFolder)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring path;
    ASSERT_EQ(0, WindowsInstallerPath(path));
    EXPECT_EQ(std::wstring(system) + L"\\msiexec.exe", path);
}

} // namespace
