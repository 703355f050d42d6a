#include "framework/wow64_query.h"

BOOL QueryWow64(BOOL* isWow64)
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    *isWow64 = FALSE;
    HMODULE kernel32 = GetModuleHandleW(L"kernel32");
    FARPROC proc = kernel32 ? GetProcAddress(kernel32, "IsWow64Process") : nullptr;
    if (proc == nullptr)
        return TRUE;
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(proc));
    BOOL result = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &result))
        return FALSE;
    *isWow64 = result;
    return TRUE;
}
