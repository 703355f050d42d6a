#pragma once
// The two folders payloads are written to: this run's work folder under the
// user's temporary folder (run-once programs, removed at the end of the run)
// and the persistent installers folder under the common application-data
// folder (the product package, kept after the run).
#include <windows.h>

#include <string>

#include "framework/test_seam.h"
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
// descriptor cannot be built or applied fails), together with its subfolder
// for the children's temporary files (see ChildTempFolder) with the same
// descriptor (an attempt whose subfolder cannot be made removes the folder
// again and fails), and stores the folder's path with a trailing backslash in
// app.m_strWorkFolder; later calls reuse it. The temporary path is asked of
// GetTempPathW on every call.
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

// Name of the work folder's subfolder that payload programs are given as
// TMP and TEMP.
inline constexpr wchar_t kChildTempFolderName[] = L"tmp";

// The folder that payload programs get as TMP and TEMP: app.m_strWorkFolder
// followed by kChildTempFolderName, without a trailing backslash. It has the
// work folder's protected security, so what a self-extractor unpacks there is
// out of reach of anyone but administrators and SYSTEM (the temporary folder
// of SYSTEM, C:\Windows\Temp, lets Users create files in the folders made
// there). Empty when no work folder exists.
std::wstring ChildTempFolder(const CInstallerLauncher& app);

// Removal passes over the work folder, and the pause between two of them. A
// payload program that has just ended may still hold its current folder (the
// work folder) open for a moment: under Wine the folder cannot be removed for
// up to a few hundred milliseconds after the process has ended. The bound
// keeps a file that stays open (a program still running) from holding up the
// end of the run for more than about two seconds.
inline constexpr int kWorkFolderRemovalPasses = 20;
inline constexpr DWORD kWorkFolderRemovalPauseMs = 100;

// Removes this run's work folder with everything in it, also what the payload
// programs left there, subfolders included (RemoveFolderTree: reparse points
// are removed as links, never followed), in up to kWorkFolderRemovalPasses
// passes until it is gone, and empties app.m_strWorkFolder. Does nothing at
// all when the path is empty. Failures are not reported: a file that is still
// held open stays, and then so does the folder; the path is emptied all the
// same.
void DeleteWorkFolder(CInstallerLauncher& app);

// Where new work-folder names come from. Sets `text` and returns RPC_S_OK, or
// returns another RPC status when no name could be made.
using WorkFolderNameSource = long (*)(std::wstring& text);

// Test seam (framework/test_seam.h) of the names: NewUuidText
// (framework/uuid_text.h), for tests that must force a name collision.
extern Seam<WorkFolderNameSource> g_workFolderNameSeam;
