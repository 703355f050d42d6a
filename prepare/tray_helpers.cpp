#include "prepare/tray_helpers.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>

#include "framework/unique_handle.h"
#include "launcher/product_constants.h"

namespace {

bool IsTrayHelper(const wchar_t* exeFile)
{
    for (int i = 0; i < product::kTrayHelperCount; ++i) {
        if (std::wcscmp(exeFile, product::kTrayHelperNames[i]) == 0)
            return true;
    }
    return false;
}

// Returns true when the process was there to open and its termination call
// succeeded.
bool Terminate(DWORD processId)
{
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process)
        return false;
    return TerminateProcess(process.get(), 0) != FALSE;
}

} // namespace

int TerminateTrayHelpers()
{
    UniqueSnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;

    // The record's size differs between 32-bit and 64-bit builds; the tool-help
    // functions reject a size that is not their own.
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    int terminated = 0;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        // The record comes from the system; terminate the name ourselves in
        // case it fills the whole field.
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        if (IsTrayHelper(entry.szExeFile) && Terminate(entry.th32ProcessID))
            ++terminated;
    }
    return terminated;
}
