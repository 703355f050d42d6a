#include "framework/dll_search.h"

#include <commctrl.h>

#include <string>

#include "framework/system_function.h"

namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFn SetDefaultDllDirectoriesOfThisSystem()
{
    return SystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
}

} // namespace

DllSearch RestrictDllSearchPath()
{
    const SetDefaultDllDirectoriesFn setDefault = SetDefaultDllDirectoriesOfThisSystem();
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return DllSearch::kSystemFolderOnly;
    return SetDllDirectoryW(L"") ? DllSearch::kCurrentFolderRemoved : DllSearch::kUnchanged;
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    // The flag is understood exactly where SetDefaultDllDirectories exists.
    if (SetDefaultDllDirectoriesOfThisSystem() != nullptr)
        return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

BOOL InitCommonControlsFromSystem()
{
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // Not freed: the window classes it registers belong to the module.
    const HMODULE comctl32 = LoadSystemLibrary(L"comctl32.dll");
    const FARPROC proc = comctl32 ? GetProcAddress(comctl32, "InitCommonControlsEx") : nullptr;
    if (proc == nullptr)
        return FALSE;
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    return reinterpret_cast<InitCommonControlsExFn>(reinterpret_cast<void*>(proc))(&controls);
}
