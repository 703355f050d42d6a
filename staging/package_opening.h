#pragma once
// Opening the product package with Windows Installer's full user interface,
// through the machine's own registration for packages only.
//
// The shell looks a document's action up in HKEY_CLASSES_ROOT, which merges
// the user's HKEY_CURRENT_USER\Software\Classes into the machine's classes.
// Programs of that user may write there without elevation, so a per-user
// registration for ".msi" or its class would be run by the elevated launcher:
// an elevation without consent. The class key is therefore opened below
// HKEY_LOCAL_MACHINE\Software\Classes, which only administrators can write,
// and handed to the shell (SEE_MASK_CLASSKEY).
#include <string>

#include "framework/unique_handle.h"
#include "staging/child_process.h"

// Longest class name taken from the ".msi" registration: the registry's limit
// for a key name.
inline constexpr std::size_t kMaxClassNameChars = 255;

// True when `name` can only name a direct subkey of the classes key: 1 to
// kMaxClassNameChars characters, none of them a path separator ("\" or "/")
// or a control character (below U+0020).
bool IsPlainClassName(const std::wstring& name);

// Opens, for reading, the machine-wide class that opens Windows Installer
// packages: HKLM\Software\Classes\<name>, where <name> is the default value
// (REG_SZ, normally "Msi.Package") of HKLM\Software\Classes\.msi. Nothing of
// the user's classes is read. Returns 0 and sets `classKey`;
// ERROR_FILE_NOT_FOUND when the machine registers no usable class (the
// extension key or its default value missing, not REG_SZ, longer than
// kMaxClassNameChars or not IsPlainClassName, or the class key missing); else
// the system error code of the look-up. `classKey` is empty on failure.
int OpenMachinePackageClass(UniqueHkey& classKey);

// Opens the package at `packagePath` with Windows Installer's full user
// interface and waits for it, started as `start` says otherwise:
// - with the machine-wide class (OpenMachinePackageClass) through the shell:
//   verb "open", the package as the file, no parameters, so that an
//   administrator's own machine-wide registration is honoured;
// - when the machine registers none: msiexec.exe from the system folder
//   (WindowsInstallerPath) with `/i "<packagePath>"`, the action Windows
//   Installer registers for packages. A user's registration is never used.
// Returns RunProgram's result (the installer's exit code or the start's
// failure), or the system code of a failed look-up (nothing started).
int OpenPackageWithFullInterface(const std::wstring& packagePath, ChildStart start);
