#include "tests/support/running_driver.h"

#include <cwchar>

#include "launcher/product_constants.h"

namespace testing_support {

HelperProcesses::~HelperProcesses()
{
    for (const UniqueKernelHandle& process : m_processes) {
        if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 10000);
        }
    }
}

int HelperProcesses::Start(const std::wstring& fileName)
{
    const std::wstring folder = m_dir / std::to_wstring(m_processes.size());
    const std::wstring program = folder + L"\\" + fileName;
    const std::wstring log = folder + L"\\started.log";
    if (!CreateDirectoryW(folder.c_str(), nullptr) || !CopyStandin(program, m_programFolder))
        return -1;
    UniqueKernelHandle started =
        StartProcess(L"\"" + program + L"\"", {{L"STANDIN_WAIT", L"1"}, {L"STANDIN_LOG", log}});
    if (!started)
        return -1;
    const HANDLE process = started.get();
    m_processes.push_back(std::move(started)); // ended and closed with the others
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
    m_manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!m_manager)
        return;
    const std::wstring folder = programFolder.empty() ? BinDir() : programFolder;
    const std::wstring binary = L"\"" + folder + L"\\recording_service.exe\" \"" + recordFile + L"\"";
    // A service of the same name deleted a moment ago may still be marked for
    // deletion until the service manager has let go of it.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (;;) {
        m_service.reset(CreateServiceW(m_manager.get(), product::kDeviceMonitorService, L"Orbelle test device monitor",
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr, nullptr, nullptr,
                                       nullptr));
        if (m_service || GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE || GetTickCount64() > deadline)
            break;
        Sleep(50);
    }
}

TestService::~TestService()
{
    if (!m_service)
        return;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(m_service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                         &needed);
    {
        const UniqueKernelHandle process(status.dwProcessId != 0
                                             ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId)
                                             : nullptr);
        if (status.dwCurrentState != SERVICE_STOPPED) {
            SERVICE_STATUS stop = {};
            ControlService(m_service.get(), SERVICE_CONTROL_STOP, &stop);
            WaitForState(SERVICE_STOPPED, 15000);
        }
        // The service manager deletes the record only once the service's
        // process is gone and the last handle to the service is closed; a
        // process that does not end by itself is ended.
        if (process && WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 10000);
        }
    }
    DeleteService(m_service.get());
    m_service.reset();
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (ServiceInstalled(product::kDeviceMonitorService) && GetTickCount64() < deadline)
        Sleep(50);
}

bool TestService::Start()
{
    if (!m_service || !StartServiceW(m_service.get(), 0, nullptr))
        return false;
    // As long as a 32-bit service process may take to start (see Start above).
    return WaitForState(SERVICE_RUNNING, 900000);
}

DWORD TestService::State() const
{
    SERVICE_STATUS status = {};
    if (!m_service || !QueryServiceStatus(m_service.get(), &status))
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

bool ServiceInstalled(const wchar_t* name)
{
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return false;
    return UniqueServiceHandle(OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS)).valid();
}

RunningDriver::RunningDriver(std::wstring programFolder)
    : m_programFolder(std::move(programFolder)), m_helpers(m_programFolder)
{
}

::testing::AssertionResult RunningDriver::StartHelpers()
{
    for (const wchar_t* name : {L"KorvelTaskBarIcon.exe", L"KorvelTaskBarIcon.exe", L"KorvelTaskBarIcon64.exe"}) {
        const int index = m_helpers.Start(name);
        if (index < 0)
            return ::testing::AssertionFailure() << "the tray helper " << WideToUtf8(name) << " did not start";
        m_driverHelpers.push_back(index);
    }
    m_lookalike = m_helpers.Start(L"KorvelTaskBarIcon.EXE");
    if (m_lookalike < 0)
        return ::testing::AssertionFailure() << "the look-alike KorvelTaskBarIcon.EXE did not start";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult RunningDriver::StartService(const std::wstring& recordFile)
{
    m_service.emplace(recordFile, m_programFolder);
    if (!m_service->installed())
        return ::testing::AssertionFailure() << "the test service was not installed";
    if (!m_service->Start())
        return ::testing::AssertionFailure() << "the test service did not start";
    return ::testing::AssertionSuccess();
}

std::vector<DWORD> RunningDriver::HelperExitCodes(DWORD timeoutMs) const
{
    std::vector<DWORD> codes;
    for (int index : m_driverHelpers)
        codes.push_back(m_helpers.WaitForExit(index, timeoutMs));
    return codes;
}

bool RunningDriver::LookalikeRunning() const
{
    return m_lookalike >= 0 && m_helpers.Running(m_lookalike);
}

} // namespace testing_support
