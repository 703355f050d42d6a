#pragma once
// Writing a payload resource of the launcher's own module into a file.
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

class CInstallerLauncher;
struct FileIdentity; // staging/package_check.h

// True when the launcher's own module carries the resource `name` of type
// `type` (in any language). Nothing is loaded or written.
bool CarriesPayload(const wchar_t* name, const wchar_t* type);

// Writes the resource `name` of type `type` (looked up in the process's own
// image, in any language) byte for byte into a new file `fileName` in the work
// folder (temporary = true) or the installers folder (temporary = false); see
// CreatePayloadFile. The data are written straight from the mapped resource in
// one call.
//
// `outPath` is emptied first; once the target has been composed it holds the
// file's full path, also after a later failure. A missing resource is looked
// for before any folder or file is made, so it creates neither.
//
// Returns 0 when the file has been written completely and closed. Otherwise a
// nonzero status, with one line on standard output:
//   "LocateResource failed (%d)\n"  resource missing, empty or not loadable
//   "WriteFile failed (%d)\n"       see WritePayloadBytes
//   "CloseHandle failed (%d)\n"
// or the status of CreatePayloadFile, which writes its own line. A failure the
// system gives no code for is reported as exit_code::kFailureWithoutCode. A
// partly written file is not deleted.
//
// `written`, when given, receives the identity of the file as its writing
// handle saw it, read just before that handle is closed; it stays not known
// when it could not be read (the extraction does not fail for that).
int ExtractPayload(std::wstring& outPath, CInstallerLauncher& app, const wchar_t* name, const wchar_t* type,
                   const wchar_t* fileName, bool temporary, FileIdentity* written = nullptr);

// An extracted payload file, held open from its writing until its use has
// ended, so that nobody can write, rename or delete it in between: the file
// that is run or installed is the file that was written.
//
// `file` is open for reading only (GENERIC_READ), shares reading only
// (FILE_SHARE_READ: others may open it to read or run it, as the loader and
// Windows Installer do; an open for writing or deleting fails with
// ERROR_SHARING_VIOLATION), and was opened after the writing handle was
// closed, at file position 0. A caller may read the held bytes through it
// (for example to check a digest of the file before its use); ReadFile moves
// the position, which nothing else relies on, so a reader sets it first. The
// hold ends when the object goes away or `file` is reset.
struct HeldPayload {
    std::wstring path; // full path of the file
    UniqueFileHandle file;
};

// ExtractPayload, then HoldWrittenPayload without the identity check.
// `held.path` is set as ExtractPayload sets its out path; `held.file` is
// reset first and is valid only on success. Returns 0 when the file has been
// written, closed, is held and is the payload carried; else ExtractPayload's
// status (its line written) or HoldWrittenPayload's.
int ExtractHeldPayload(HeldPayload& held, CInstallerLauncher& app, const wchar_t* name, const wchar_t* type,
                       const wchar_t* fileName, bool temporary);

// Holds the payload file just written at `held.path` (see HeldPayload) and
// checks the held file before anything uses it: when `written` is given (the
// identity of the file as its writing handle saw it), that the name still
// means that very file (CheckHeldPackage), then that its bytes are the
// payload carried for `name` (CheckPayloadDigest). `held.file` is valid only
// on success.
//
// Returns 0 when the file is held and passed the checks. Otherwise the
// system code of the opening that holds it ("CreateFile failed (%d)\n"),
// CheckHeldPackage's status ("Package check failed (%d)\n":
// exit_code::kPackageNotAsWritten or the system code of the check), or
// CheckPayloadDigest's status (its line written).
int HoldWrittenPayload(HeldPayload& held, const wchar_t* name, const FileIdentity* written);

// Opens the existing file `path` as a hold (see HeldPayload). Returns 0 and
// sets `hold`, or the system code with "CreateFile failed (%d)\n" (`hold`
// then empty).
int HoldPayloadFile(const std::wstring& path, UniqueFileHandle& hold);

// Writes `size` bytes from `data` to `file` with one WriteFile call; when that
// call succeeds but reports fewer bytes, one more call writes the rest (so a
// full disk is reported as ERROR_DISK_FULL on Wine as on Windows). Returns 0
// when all `size` bytes were written; the system error code when a call
// failed; exit_code::kIncompleteWrite when the second call also came up short.
// Every failure writes "WriteFile failed (%d)\n".
int WritePayloadBytes(HANDLE file, const void* data, DWORD size);
