#pragma once
// Where the launcher's DLLs come from. The launcher usually runs elevated from
// a Downloads folder, where anyone who can write a file there could plant a
// DLL under a name that Windows looks for in the program's own folder.
//
// The executable statically imports only DLLs that Windows always maps from
// the system folder (KnownDLLs; tests/product/check_executable.sh keeps it so).
// Everything else is loaded by name after the search path has been
// restricted, through LoadSystemLibrary.
#include <windows.h>

enum class DllSearch {
    // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) took effect:
    // DLLs loaded by name, ours and the system's own dependencies alike, come
    // from the system folder (or the side-by-side store) only.
    kSystemFolderOnly,
    // Windows without SetDefaultDllDirectories: SetDllDirectoryW(L"") took the
    // current folder out of the search; the program's own folder stays in it.
    kCurrentFolderRemoved,
    // Neither call succeeded; the search path is the system's default.
    kUnchanged,
};

// Restricts the DLL search path of the process, for good. Called first thing
// in the process, before anything can load a DLL by name. SetDefaultDllDirectories
// is looked up at run time (Windows 7 has it only with update KB2533623).
DllSearch RestrictDllSearchPath();

// Loads the system DLL `name` (a bare file name such as L"comctl32.dll") from
// the system folder: LoadLibraryExW with LOAD_LIBRARY_SEARCH_SYSTEM32 where
// Windows supports it, else the full path in the system folder. A manifest
// dependency (common controls 6) still redirects the first form to the
// side-by-side store, which only administrators can write. Returns the module
// or null (GetLastError tells why). The caller owns the reference.
HMODULE LoadSystemLibrary(const wchar_t* name);

// InitCommonControlsEx with ICC_WIN95_CLASSES, from comctl32 loaded through
// LoadSystemLibrary. comctl32 stays loaded for the rest of the process, as a
// static import would. Returns the function's result, FALSE when comctl32 or
// the function could not be had.
BOOL InitCommonControlsFromSystem();
