#pragma once
// The installed driver's running parts, as the launcher finds them on a
// machine it upgrades: its tray helpers (copies of the stand-in program
// started under the helpers' names) and its device-monitor service (a real
// test service installed under the driver's service name). Everything here
// ends, stops or deletes what it started when it goes away. (The recording
// msiexec is SystemMsiexecStandin, test_machine.h.)
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace testing_support {

// Copies of the stand-in program started under chosen file names, each
// waiting until it is ended. Each copy lives in its own subfolder of a
// temporary folder, so names that differ only in letter case can coexist.
// Whatever still runs when the object goes away is ended (exit code 0xDEAD)
// and waited for, then the folder is removed.
class HelperProcesses {
  public:
    // `programFolder`: where standin.exe is taken from; empty means the test
    // program's own folder (a test of the 32-bit build may use 64-bit helpers).
    explicit HelperProcesses(std::wstring programFolder = L"") : m_programFolder(std::move(programFolder)) {}
    ~HelperProcesses();
    HelperProcesses(const HelperProcesses&) = delete;
    HelperProcesses& operator=(const HelperProcesses&) = delete;

    // Starts one copy named `fileName` and waits until it has recorded its
    // start (so it shows in a process snapshot under that name). Returns its
    // index, or -1 when it did not start.
    int Start(const std::wstring& fileName);
    HANDLE process(int index) const { return m_processes[static_cast<size_t>(index)].get(); }
    size_t count() const { return m_processes.size(); }
    // True while the process of `index` has not ended.
    bool Running(int index) const;
    // Waits at most `timeoutMs` for the process to end; returns its exit code,
    // or STILL_ACTIVE when it still runs.
    DWORD WaitForExit(int index, DWORD timeoutMs) const;

  private:
    std::wstring m_programFolder;
    TempDir m_dir;
    std::vector<UniqueKernelHandle> m_processes;
};

// The test service, installed under the driver's service name
// "OrbelleAudioDevMon" from tests/fixtures/service. It appends one line per
// control code it receives to its record file, in the stand-in log format
// (program = service name, arguments = the code), so that one file can hold
// the service's and the stand-ins' records in the order they happened.
// Stopped and deleted when the object goes away; a service process that does
// not stop is ended.
class TestService {
  public:
    // Installs the service (demand start) recording to `recordFile`, from
    // recording_service.exe in `programFolder` (empty: the test program's own
    // folder).
    explicit TestService(const std::wstring& recordFile, const std::wstring& programFolder = L"");
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    bool installed() const { return m_service.valid(); }
    // Starts the service and waits until it reports SERVICE_RUNNING.
    bool Start();
    // Current state (SERVICE_RUNNING, SERVICE_STOPPED, ...), 0 when unknown.
    DWORD State() const;
    // The control codes recorded so far, in order.
    std::vector<DWORD> RecordedControls() const;

  private:
    bool WaitForState(DWORD state, DWORD timeoutMs) const;

    std::wstring m_recordFile;
    UniqueServiceHandle m_manager;
    UniqueServiceHandle m_service;
};

// True when a service named `name` is installed in this prefix.
bool ServiceInstalled(const wchar_t* name);

// The driver at work as an upgrade finds it. StartHelpers() starts its tray
// helpers, "KorvelTaskBarIcon.exe" twice and "KorvelTaskBarIcon64.exe" once,
// and beside them "KorvelTaskBarIcon.EXE", a look-alike whose name differs
// from the first only in its extension's letter case and so is none of the
// driver's. StartService() installs and starts the device-monitor service.
// Both take their programs from `programFolder` (empty: the test program's
// own folder), as HelperProcesses and TestService do.
class RunningDriver {
  public:
    explicit RunningDriver(std::wstring programFolder = L"");
    RunningDriver(const RunningDriver&) = delete;
    RunningDriver& operator=(const RunningDriver&) = delete;

    // Starts the four copies, each running once this returns; the failure
    // names the first that did not start.
    ::testing::AssertionResult StartHelpers();
    // Installs the service recording to `recordFile` and starts it; the
    // failure says which of the two did not happen.
    ::testing::AssertionResult StartService(const std::wstring& recordFile);

    // The exit codes of the three copies named like the driver's helpers, in
    // the order above, each waited for at most `timeoutMs` (STILL_ACTIVE for
    // one that still runs then): { 0, 0, 0 } when something ended them all
    // with exit code 0.
    std::vector<DWORD> HelperExitCodes(DWORD timeoutMs = 10000) const;
    // True while the look-alike runs.
    bool LookalikeRunning() const;
    // The service of StartService(); throws std::bad_optional_access before.
    const TestService& service() const { return m_service.value(); }

  private:
    std::wstring m_programFolder;
    HelperProcesses m_helpers;
    std::vector<int> m_driverHelpers; // indices in m_helpers
    int m_lookalike = -1;
    std::optional<TestService> m_service;
};

} // namespace testing_support
