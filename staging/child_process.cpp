#include "staging/child_process.h"

#include <shellapi.h>

#include <cstdio>

#include "framework/path_text.h"
#include "framework/run_log.h"
#include "framework/scoped_environment.h"
#include "launcher/exit_codes.h"
#include "launcher/installer_launcher.h"
#include "launcher/product_constants.h"
#include "staging/failure_report.h"
#include "staging/payload.h"
#include "staging/work_folder.h"

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

// Starts the child of `info` with TMP and TEMP set to `tempFolder` (unless
// it is empty) for the moment of its start: the child copies the launcher's
// environment then, and nothing of ours sees the change. Returns 0 with
// info.hProcess set, or the failure's status.
int StartChild(SHELLEXECUTEINFOW& info, const std::wstring& tempFolder)
{
    ScopedEnvironmentVariable tmp(L"TMP");
    ScopedEnvironmentVariable temp(L"TEMP");
    if (!tempFolder.empty()) {
        int status = tmp.Set(tempFolder);
        if (status == 0)
            status = temp.Set(tempFolder);
        if (status != 0)
            return status;
    }
    if (!ShellExecuteExW(&info))
        return StartFailureStatus(info);
    return 0;
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

ChildStart ChildStartForPayload(const CInstallerLauncher& app)
{
    ChildStart start = ChildStartFor(app);
    start.currentFolder = app.m_strWorkFolder;
    start.tempFolder = ChildTempFolder(app);
    return start;
}

int RunProgram(const std::wstring& file, const std::wstring& parameters, const ChildStart& start)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | (start.noErrorUi ? SEE_MASK_FLAG_NO_UI : 0) |
                 (start.classKey ? SEE_MASK_CLASSKEY : 0);
    info.hkeyClass = start.classKey;
    info.hwnd = nullptr;
    info.lpVerb = product::kShellVerbOpen;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = start.currentFolder.empty() ? nullptr : start.currentFolder.c_str();
    info.nShow = SW_SHOWDEFAULT;
    // A line on our output must not arrive after anything the child writes.
    std::fflush(stdout);
    LogLine(L"Child: \"" + file + L"\" " + parameters);
    const int startStatus = StartChild(info, start.tempFolder);
    if (startStatus != 0) {
        LogNumber(L"Child start failed: ", startStatus);
        return startStatus;
    }
    const int result = WaitForProcessExit(UniqueKernelHandle(info.hProcess));
    LogNumber(L"Child exit code: ", result);
    return result;
}

int RunPayloadProgram(CInstallerLauncher& app, const wchar_t* name, const wchar_t* fileName,
                      const std::wstring& arguments)
{
    // Held until the program has ended: nobody can change it between its
    // writing and its start, or while it runs.
    HeldPayload held;
    const int status = ExtractHeldPayload(held, app, name, product::kTypeExe, fileName, true);
    if (status != 0)
        return status;
    return RunProgram(held.path, arguments, ChildStartForPayload(app));
}

int WindowsInstallerPath(std::wstring& path)
{
    path.clear();
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return LastErrorStatus();
    path.assign(buffer, length);
    path += kPathSeparator;
    path += product::kMsiexec;
    path += L".exe";
    return 0;
}
