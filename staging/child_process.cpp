#include "staging/child_process.h"

#include <shellapi.h>

#include <cstdio>

#include "framework/run_log.h"
#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/failure_report.h"
#include "staging/payload.h"

namespace {

// The code of a failed ShellExecuteExW. Wine's shell leaves no reliable
// system error code for a failed start: its error box leaves 0, or the code
// of the box itself (1400 without a display, others when it is closed). Its
// own return code in hInstApp is reliable on both systems, and for a missing
// file or path (SE_ERR_FNF = 2, SE_ERR_PNF = 3) it is the system code of the
// same meaning, so it is taken first for those. Otherwise the system code,
// else the shell's code, else a nonzero status of our own.
int StartFailureStatus(const SHELLEXECUTEINFOW& info)
{
    const DWORD error = GetLastError();
    const INT_PTR shellCode = reinterpret_cast<INT_PTR>(info.hInstApp);
    if (shellCode == SE_ERR_FNF || shellCode == SE_ERR_PNF)
        return static_cast<int>(shellCode);
    if (error != ERROR_SUCCESS)
        return static_cast<int>(error);
    if (shellCode > 0 && shellCode <= 32)
        return static_cast<int>(shellCode);
    return ErrorStatus(0);
}

} // namespace

int WaitForProcessExit(UniqueKernelHandle process)
{
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0)
        return exit_code::kWaitFailed;
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode))
        return LastErrorStatus();
    return static_cast<int>(exitCode);
}

ChildStart ChildStartFor(const CInstallerLauncher& app)
{
    ChildStart start;
    start.noErrorUi = !app.m_strMsiArgs.empty();
    return start;
}

int RunProgram(const std::wstring& file, const std::wstring& parameters, const ChildStart& start)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | (start.noErrorUi ? SEE_MASK_FLAG_NO_UI : 0);
    info.hwnd = nullptr;
    info.lpVerb = product::kShellVerbOpen;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWDEFAULT;
    // A line on our output must not arrive after anything the child writes.
    std::fflush(stdout);
    LogLine(L"Child: \"" + file + L"\" " + parameters);
    if (!ShellExecuteExW(&info)) {
        const int status = StartFailureStatus(info);
        LogNumber(L"Child start failed: ", status);
        return status;
    }
    const int result = WaitForProcessExit(UniqueKernelHandle(info.hProcess));
    LogNumber(L"Child exit code: ", result);
    return result;
}

int RunPayloadProgram(CInstallerLauncher& app, const wchar_t* name, const wchar_t* fileName,
                      const std::wstring& arguments)
{
    std::wstring path;
    const int status = ExtractPayload(path, app, name, product::kTypeExe, fileName, true);
    if (status != 0)
        return status;
    return RunProgram(path, arguments, ChildStartFor(app));
}

int WindowsInstallerPath(std::wstring& path)
{
    path.clear();
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return LastErrorStatus();
    path.assign(buffer, length);
    path += product::kPathSeparator;
    path += product::kMsiexec;
    path += L".exe";
    return 0;
}
