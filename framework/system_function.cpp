#include "framework/system_function.h"

FARPROC MappedModuleFunction(const wchar_t* module, const char* name)
{
    const HMODULE mapped = GetModuleHandleW(module);
    return mapped ? GetProcAddress(mapped, name) : nullptr;
}
