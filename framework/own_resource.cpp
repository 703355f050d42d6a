#include "framework/own_resource.h"

bool MapOwnResource(const wchar_t* name, const wchar_t* type, const void*& data, DWORD& size)
{
    // A step below that fails without setting a code must not leave a code
    // that an earlier call left behind.
    SetLastError(ERROR_SUCCESS);
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(module, name, type);
    size = resource ? SizeofResource(module, resource) : 0;
    const HGLOBAL loaded = size ? LoadResource(module, resource) : nullptr;
    data = loaded ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        size = 0;
    return data != nullptr;
}
