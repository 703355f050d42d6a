#pragma once
// The two folders payloads are written to: this run's work folder under the
// user's temporary folder (run-once programs, removed at the end of the run)
// and the persistent installers folder under the common application-data
// folder (the product package, kept after the run).
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

class CInstallerLauncher;

// Name attempts for a new work folder before giving up. A collision with an
// existing folder is cured by the next UUID; a temporary folder that cannot be
// written or a UUID source that keeps failing is not, so the attempts stop.
inline constexpr int kWorkFolderNameAttempts = 8;

// Prepares the target folder and creates the empty file `fileName` in it.
//
// temporary = true: the work folder. The first such call of a run creates it
// as the temporary path followed by a new UUID text (36 lowercase characters),
// with the protected descriptor of BuildWorkFolderSecurity (an attempt whose
// descriptor cannot be built or applied fails), and stores that path with a
// trailing backslash in app.m_strWorkFolder; later calls reuse it.
// temporary = false: the installers folder
// <common application data>\ZARO\Installers\Orbelle\; each of its three levels
// is created or brought to the protected state by MakeProtectedFolders, and a
// level that is a reparse point is refused; app.m_strWorkFolder is neither
// read nor changed.
//
// `outPath` must come in empty. It receives the folder path (trailing
// backslash) once the folder is ready and then the file name, so on success it
// holds the file's full path. A file of that name is deleted first and the
// file is then created new (CREATE_NEW), so an existing file, its security or
// a link in its place is never reused; it is opened for reading and writing
// without sharing. On success `outFile` owns its handle.
//
// Returns 0 on success. On failure returns a nonzero status and writes one
// line to standard output:
//   "GetTempPath failed (%d)\n"          system error code
//   "CreateDirectory failed (%d)\n"      last system error code after
//                                        kWorkFolderNameAttempts attempts (or
//                                        the UUID source's RPC status)
//   "SHGetFolderPath failed (%d)\n"      the negative HRESULT
//   "SHCreateDirectoryEx failed (%d)\n"  the installers folder could not be
//                                        made protected: a system code, or
//                                        exit_code::kReparsePointRefused
//   "CreateFile failed (%d)\n"           system error code (of the deletion
//                                        of an existing file, or the creation)
// A code the system leaves at 0 is reported as exit_code::kFailureWithoutCode.
int CreatePayloadFile(CInstallerLauncher& app, const wchar_t* fileName, bool temporary, std::wstring& outPath,
                      UniqueFileHandle& outFile);

// Removes this run's work folder: deletes every file directly inside it, then
// the folder itself, and empties app.m_strWorkFolder. Does nothing at all when
// the path is empty. Failures are not reported: a file that is still held open
// stays, and then so does the folder; the path is emptied all the same.
void DeleteWorkFolder(CInstallerLauncher& app);

// Where new work-folder names come from. Sets `text` and returns RPC_S_OK, or
// returns another RPC status when no name could be made.
using WorkFolderNameSource = long (*)(std::wstring& text);

// Replaces the name source (null restores the UUID source) and returns the
// previous one. For tests that must force a name collision.
WorkFolderNameSource SetWorkFolderNameSource(WorkFolderNameSource source);
