#pragma once
// Installing the product's Windows Installer package.
#include <string>

#include "framework/test_seam.h"

class CInstallerLauncher;

// Writes the package for this machine ("MSI64" when app.m_bWow64 is set, else
// "MSI32") as ZaroInstaller.msi into the installers folder, where it stays
// after the run, and hands it to Windows Installer:
// - app.m_strMsiArgs empty: the package is opened through the shell (the
//   action registered for packages, normally Windows Installer with its full
//   user interface) with an empty argument string;
// - otherwise every "$MSIPATH" in app.m_strMsiArgs (rewritten in place) is
//   replaced by the package path in double quotes, and msiexec.exe from the
//   system folder runs with the result.
// From the package's writing until Windows Installer has finished, the
// launcher holds the file open for reading, sharing only reading: no one can
// write, rename or delete it in between, so the file installed is the file
// written. A package that cannot be held is not installed: "CreateFile failed
// (%d)\n" and the system code. Nor is one that, once held, is not the file
// just written (CheckHeldPackage: its identity as the writing handle saw it,
// one name, the expected final path): "Package check failed (%d)\n" with
// exit_code::kPackageNotAsWritten, or the system code of the check. Nor is
// one whose held bytes are not the package the launcher carries
// (CheckPayloadDigest): "Payload check failed (%d)\n" with
// exit_code::kPayloadNotAsCarried, or the system code of the hashing.
// With empty installer arguments the package is opened through the machine's
// own registration only (OpenPackageWithFullInterface).
// Returns the nonzero extraction status (nothing is started; the line is
// written by ExtractPayload), else RunProgram's result: Windows Installer's
// exit code (0, 1602, 1603, 3010, ...) or the start failure's code.
int InstallProductPackage(CInstallerLauncher& app);

// Test seam (framework/test_seam.h): called with the package's path between
// its writing (the writing handle closed) and its hold, for tests that must
// change what the name means in that moment. Real: does nothing.
using PackageWrittenHook = void (*)(const std::wstring& path);
extern Seam<PackageWrittenHook> g_packageWrittenSeam;

// Replaces every occurrence of "$MSIPATH" (case-sensitive) in `args`, left to
// right, without searching the inserted text again, by `quotedPath`.
void ReplacePackagePathToken(std::wstring& args, const std::wstring& quotedPath);
