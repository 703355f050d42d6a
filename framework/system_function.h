#pragma once
// Functions that some Windows versions lack, looked up at run time in a
// system DLL that the process has mapped already: kernel32 and advapi32 (the
// executable's own imports) or ntdll (mapped into every process). Nothing is
// loaded by name, so the DLL search plays no part.
#include <windows.h>

// The address of the export `name` of the mapped module `module` (such as
// L"kernel32.dll"). Null when that module is not mapped into the process (it
// is not loaded then either) or has no such export.
FARPROC MappedModuleFunction(const wchar_t* module, const char* name);

// MappedModuleFunction as a pointer of the function's own type `Fn` (for
// example BOOL(WINAPI*)(HANDLE, PBOOL)); null as there.
template <typename Fn> Fn SystemFunction(const wchar_t* module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(MappedModuleFunction(module, name)));
}
