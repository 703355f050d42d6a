#include "tests/prepare/prepare_fixtures.h"

#include <cwchar>

#include "launcher/product_constants.h"

namespace prepare_fixtures {

using testing_support::BinDir;
using testing_support::ReadStandinLog;

HelperProcesses::~HelperProcesses()
{
    for (HANDLE process : m_processes) {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 10000);
        }
        CloseHandle(process);
    }
}

int HelperProcesses::Start(const std::wstring& fileName)
{
    const std::wstring folder = m_dir / std::to_wstring(m_processes.size());
    const std::wstring program = folder + L"\\" + fileName;
    const std::wstring log = folder + L"\\started.log";
    if (!CreateDirectoryW(folder.c_str(), nullptr) ||
        !CopyFileW(((m_programFolder.empty() ? BinDir() : m_programFolder) + L"\\standin.exe").c_str(), program.c_str(),
                   TRUE))
        return -1;
    HANDLE process =
        testing_support::StartProcess(L"\"" + program + L"\"", {{L"STANDIN_WAIT", L"1"}, {L"STANDIN_LOG", log}});
    if (process == nullptr)
        return -1;
    m_processes.push_back(process);
    // A 32-bit copy takes a minute or more to start where 32-bit code is
    // emulated (several on a busy machine).
    const ULONGLONG deadline = GetTickCount64() + 900000;
    while (ReadStandinLog(log).empty()) {
        if (GetTickCount64() > deadline || WaitForSingleObject(process, 0) != WAIT_TIMEOUT)
            return -1;
        Sleep(20);
    }
    return static_cast<int>(m_processes.size() - 1);
}

bool HelperProcesses::Running(int index) const
{
    return WaitForSingleObject(process(index), 0) == WAIT_TIMEOUT;
}

DWORD HelperProcesses::WaitForExit(int index, DWORD timeoutMs) const
{
    if (WaitForSingleObject(process(index), timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process(index), &code);
    return code;
}

TestService::TestService(const std::wstring& recordFile, const std::wstring& programFolder) : m_recordFile(recordFile)
{
    m_manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (m_manager == nullptr)
        return;
    const std::wstring folder = programFolder.empty() ? BinDir() : programFolder;
    const std::wstring binary = L"\"" + folder + L"\\recording_service.exe\" \"" + recordFile + L"\"";
    // A service of the same name deleted a moment ago may still be marked for
    // deletion until the service manager has let go of it.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (;;) {
        m_service = CreateServiceW(m_manager, product::kDeviceMonitorService, L"Orbelle test device monitor",
                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                   SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        if (m_service != nullptr || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE || GetTickCount64() > deadline)
            break;
        Sleep(50);
    }
}

TestService::~TestService()
{
    if (m_service != nullptr) {
        SERVICE_STATUS_PROCESS status = {};
        DWORD needed = 0;
        QueryServiceStatusEx(m_service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                             &needed);
        HANDLE process =
            status.dwProcessId != 0 ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId) : nullptr;
        if (status.dwCurrentState != SERVICE_STOPPED) {
            SERVICE_STATUS stop = {};
            ControlService(m_service, SERVICE_CONTROL_STOP, &stop);
            WaitForState(SERVICE_STOPPED, 15000);
        }
        // The service manager deletes the record only once the service's
        // process is gone; a process that does not end by itself is ended.
        if (process != nullptr) {
            if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
                TerminateProcess(process, 0xDEAD);
                WaitForSingleObject(process, 10000);
            }
            CloseHandle(process);
        }
        DeleteService(m_service);
        CloseServiceHandle(m_service);
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (ServiceInstalled(product::kDeviceMonitorService) && GetTickCount64() < deadline)
            Sleep(50);
    }
    if (m_manager != nullptr)
        CloseServiceHandle(m_manager);
}

bool TestService::Start()
{
    if (m_service == nullptr || !StartServiceW(m_service, 0, nullptr))
        return false;
    // As long as a 32-bit service process may take to start (see Start above).
    return WaitForState(SERVICE_RUNNING, 900000);
}

DWORD TestService::State() const
{
    SERVICE_STATUS status = {};
    if (m_service == nullptr || !QueryServiceStatus(m_service, &status))
        return 0;
    return status.dwCurrentState;
}

bool TestService::WaitForState(DWORD state, DWORD timeoutMs) const
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (State() == state)
            return true;
        if (GetTickCount64() > deadline)
            return false;
        Sleep(50);
    }
}

std::vector<DWORD> TestService::RecordedControls() const
{
    std::vector<DWORD> codes;
    for (const auto& record : ReadStandinLog(m_recordFile)) {
        if (record.program == product::kDeviceMonitorService)
            codes.push_back(static_cast<DWORD>(std::wcstoul(record.arguments.c_str(), nullptr, 10)));
    }
    return codes;
}

SystemMsiexecStandin::SystemMsiexecStandin() : m_backup(m_dir / L"msiexec.exe.original")
{
    wchar_t overrides[256] = {};
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (std::wcsstr(overrides, L"msiexec.exe=n") == nullptr)
        return;
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    m_msiexec = std::wstring(system) + L"\\msiexec.exe";
    if (!CopyFileW(m_msiexec.c_str(), m_backup.c_str(), TRUE))
        return;
    m_ok = CopyFileW((BinDir() + L"\\standin.exe").c_str(), m_msiexec.c_str(), FALSE) != FALSE;
}

SystemMsiexecStandin::~SystemMsiexecStandin()
{
    if (testing_support::PathExists(m_backup))
        CopyFileW(m_backup.c_str(), m_msiexec.c_str(), FALSE);
}

bool ServiceInstalled(const wchar_t* name)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return false;
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
    if (service != nullptr)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

} // namespace prepare_fixtures
