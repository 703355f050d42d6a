#pragma once
// Fixtures for the preparation steps: running stand-in tray helpers and a real
// test service named like the driver's device-monitor service. (The recording
// msiexec is testing_support::SystemMsiexecStandin, tests/support/test_machine.h.)
#include <windows.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "tests/support/test_support.h"

namespace prepare_fixtures {

// Copies of the stand-in program started under chosen file names, each
// waiting until it is ended. Each copy lives in its own subfolder of a
// temporary folder, so names that differ only in letter case can coexist.
// Whatever still runs when the object goes away is ended and waited for,
// then the folder is removed.
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
    testing_support::TempDir m_dir;
    std::vector<UniqueKernelHandle> m_processes;
};

// The test service, installed under the driver's service name
// "OrbelleAudioDevMon" from tests/fixtures/service. It appends one line per
// control code it receives to its record file, in the stand-in log format
// (program = service name, arguments = the code). Stopped and deleted when the
// object goes away; a service process that does not stop is ended.
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

} // namespace prepare_fixtures
