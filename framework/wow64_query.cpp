#include "framework/wow64_query.h"

#include "framework/system_function.h"

BOOL QueryWow64(BOOL* isWow64)
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    *isWow64 = FALSE;
    const auto isWow64Process = SystemFunction<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
    if (isWow64Process == nullptr)
        return TRUE;
    BOOL result = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &result))
        return FALSE;
    *isWow64 = result;
    return TRUE;
}
