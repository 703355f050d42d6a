#pragma once
// The security of the folders that payloads are written to. The launcher runs
// elevated; the work folder lies in a user's temporary folder and the
// installers folder under the common application-data folder, where standard
// users may create folders. Whoever can write to either could swap a program
// or the package between its writing and its use.
//
// Under Wine these descriptors are accepted but not kept (reading a folder's
// security back gives Wine's default): tests check the descriptors built here
// in their text form (docs/WINE.md).
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

// Rights of the Users group on the installers folder: read and execute
// (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE).
inline constexpr DWORD kUsersReadExecute = 0x1200A9;

// Builds the work folder's descriptor: a protected DACL (nothing inherited)
// granting full control, inherited by files and folders in it, to the user the
// process runs as, to Administrators and to SYSTEM, and nothing to anyone
// else. Owner and group are left to the system. On success `descriptor` owns a
// self-relative descriptor and 0 is returned; otherwise a nonzero system code.
int BuildWorkFolderSecurity(UniqueLocalMemory& descriptor);

// Builds the installers folder's descriptor: owner Administrators; a protected
// DACL granting full control to Administrators and SYSTEM and read and execute
// to Users, each inherited by files and folders in it. 0 or a nonzero code.
int BuildInstallersFolderSecurity(UniqueLocalMemory& descriptor);

// Makes `base` + "\" + each level of `relative` (levels separated by "\") a
// protected folder, from the top down: a missing level is created with the
// installers folder's descriptor; an existing one is given that owner and
// DACL through a handle on the folder itself. A level that is a reparse point
// is refused with exit_code::kReparsePointRefused; one that is a file gives
// ERROR_DIRECTORY. `base` itself must exist and is not changed.
// Returns 0 with every level in place, else the first failure's code (a level
// created before the failure stays).
int MakeProtectedFolders(const std::wstring& base, const std::wstring& relative);
