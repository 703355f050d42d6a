// RunProgram, WaitForProcessExit and RunPayloadProgram with real child
// processes: copies of the stand-in program, and its copy carried by this
// test program as the "EXE" resource "STANDIN".
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <string>
#include <thread>

#include "framework/unique_handle.h"
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

// An environment variable of this process as it is: set or not, and its value.
struct Variable {
    bool set = false;
    std::wstring value;
    bool operator==(const Variable& other) const { return set == other.set && value == other.value; }
};

Variable Read(const wchar_t* name)
{
    wchar_t buffer[4096] = {};
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return {};
    return {true, std::wstring(buffer, length < 4096 ? length : 0)};
}

// Which of the launcher's own TMP and TEMP are set when a payload program
// starts. GetTempPathW takes TMP, else TEMP: the set one names the launcher's
// temporary folder; with both set, TEMP names another folder.
struct LauncherTemp {
    const char* story;
    bool tmpSet;
    bool tempSet;
};

void PrintTo(const LauncherTemp& c, std::ostream* os)
{
    *os << c.story;
}

class PayloadStart : public Runner, public ::testing::WithParamInterface<LauncherTemp> {};

// The payload program starts in the work folder with TMP and TEMP at the work
// folder's protected subfolder; the launcher's own variables are what they
// were, an unset one unset again.
TEST_P(PayloadStart, InTheWorkFolderWithItsTemporaryFolderAndTheLaunchersEnvironmentPutBack)
{
    const std::wstring launcherTemp = m_temp / L"launcher-temp";
    ASSERT_TRUE(CreateDirectoryW(launcherTemp.c_str(), nullptr));
    const LauncherTemp& c = GetParam();
    ScopedEnv tmp(L"TMP", c.tmpSet ? launcherTemp : L"");
    ScopedEnv temp(L"TEMP", c.tempSet ? (c.tmpSet ? m_temp / L"other-temp" : launcherTemp) : L"");
    const Variable tmpBefore = Read(L"TMP");
    const Variable tempBefore = Read(L"TEMP");
    CInstallerLauncher app;
    ScopedEnv exitCode(L"STANDIN_EXIT_carried", L"42");

    EXPECT_EQ(42, RunPayloadProgram(app, L"STANDIN", L"carried.exe", L"-a b"));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"carried.exe", records[0].program);
    EXPECT_EQ(L"-a b", records[0].arguments);
    const std::vector<std::wstring> folders = ListNames(launcherTemp);
    ASSERT_EQ(1u, folders.size()) << "the work folder is not directly in the launcher's temporary folder";
    const std::wstring work = launcherTemp + L"\\" + folders[0];
    EXPECT_EQ(work + L"\\", app.m_strWorkFolder);
    EXPECT_EQ(work, records[0].directory);
    EXPECT_EQ(work + L"\\tmp", records[0].tmp);
    EXPECT_EQ(work + L"\\tmp", records[0].temp);
    EXPECT_EQ(tmpBefore, Read(L"TMP"));
    EXPECT_EQ(tempBefore, Read(L"TEMP"));
    EXPECT_EQ((std::vector<std::wstring>{L"carried.exe", L"tmp"}), ListNames(work));
    DeleteWorkFolder(app);
}

INSTANTIATE_TEST_SUITE_P(Table, PayloadStart,
                         ::testing::Values(LauncherTemp{"TMP and TEMP set", true, true},
                                           LauncherTemp{"TMP set, TEMP unset", true, false},
                                           LauncherTemp{"TMP unset, TEMP set", false, true}));

// Windows Installer and the package opened through the shell start as the
// launcher does: its current folder, its TMP, also while a work folder exists.
TEST_F(Runner, OtherChildrenKeepTheLaunchersFolderAndEnvironment)
{
    CInstallerLauncher app;
    app.m_strMsiArgs = L"/i $MSIPATH /quiet";
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"tmp").c_str(), nullptr));
    ASSERT_EQ(0, RunPayloadProgram(app, L"STANDIN", L"carried.exe", L""));
    ASSERT_FALSE(app.m_strWorkFolder.empty());

    ASSERT_EQ(0, RunProgram(m_probe, L"", ChildStartFor(app)));
    const auto records = ReadStandinLog(m_log);
    ASSERT_EQ(2u, records.size());
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(L"probe.exe", records[1].program);
    EXPECT_EQ(current, records[1].directory);
    EXPECT_EQ(m_temp / L"tmp", records[1].tmp);
    DeleteWorkFolder(app);
}

// From its writing until it has ended, a payload program is held: while it
// runs (here a stand-in that waits), its file can be neither opened for
// writing, nor renamed, nor deleted. The program started while held, and the
// hold ends with it. (A running image refuses writing by itself, on Windows
// and Wine alike; renaming it is what only the hold refuses.)
TEST_F(Runner, WhileAPayloadRunsItsFileCannotBeWrittenRenamedOrDeleted)
{
    CInstallerLauncher app;
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"tmp").c_str(), nullptr));
    ScopedEnv wait(L"STANDIN_WAIT_waiting", L"1");
    int result = 0;
    std::thread run([&] { result = RunPayloadProgram(app, L"STANDIN", L"waiting.exe", L""); });
    const bool started = testing_support::WaitForRecords(m_log, 1, 60000);
    std::wstring program;
    if (started)
        program = ReadStandinLog(m_log)[0].directory + L"\\waiting.exe";
    DWORD openError = 0, renameError = 0, deleteError = 0;
    if (started) {
        const UniqueFileHandle writer(CreateFileW(program.c_str(), GENERIC_WRITE,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        openError = writer ? 0 : GetLastError();
        renameError = MoveFileW(program.c_str(), (program + L".moved").c_str()) ? 0 : GetLastError();
        deleteError = DeleteFileW(program.c_str()) ? 0 : GetLastError();
    }
    testing_support::KillProcesses(L"waiting.exe", GetCurrentProcessId(), 7);
    run.join();
    ASSERT_TRUE(started) << "the held program never started";
    EXPECT_EQ(7, result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), openError) << "opened for writing";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), renameError) << "renamed";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), deleteError) << "deleted";
    // Once the program has ended, nothing holds the file any more.
    EXPECT_TRUE(DeleteFileW(program.c_str())) << GetLastError();
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
