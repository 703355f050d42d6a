#pragma once
// Running child programs through the shell and waiting for them.
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

class CInstallerLauncher;

// How a child is started.
struct ChildStart {
    // For a document: the class key whose "open" action starts it, opened by
    // the caller and kept open until the call returns (SEE_MASK_CLASSKEY), in
    // place of the look-up by the file's type in HKEY_CLASSES_ROOT. Null: the
    // file's own type decides.
    HKEY classKey = nullptr;
    // The shell shows no error box of its own when the start fails
    // (SEE_MASK_FLAG_NO_UI): the start fails at once with its code. For an
    // unattended run, where nobody may be there to close the box (a
    // deployment tool under SYSTEM) and the run would wait on it for ever.
    bool noErrorUi = false;
    // The child's current folder (lpDirectory); empty: the launcher's own.
    std::wstring currentFolder;
    // TMP and TEMP as the child sees them; empty: the launcher's environment
    // as it is. The launcher's own variables are set only around the start
    // and put back (or removed again) at once, before the wait.
    std::wstring tempFolder;
};

// The start of a child of this run: without the shell's error box when the
// run is unattended (installer arguments set by "quiet" or "msiargs"), in the
// launcher's current folder and environment. For Windows Installer and the
// package opened through the shell: a relative path in the installer
// arguments (a log file) keeps the meaning it has where the launcher started.
ChildStart ChildStartFor(const CInstallerLauncher& app);

// The start of a payload program extracted into the work folder (which must
// exist): as ChildStartFor, but with the work folder as its current folder,
// so that a DLL the program looks for in its current folder is not found in
// the launcher's (often a Downloads folder), and with TMP and TEMP pointing
// at ChildTempFolder(app), so that what a self-extractor unpacks lies under
// the work folder's protection.
ChildStart ChildStartForPayload(const CInstallerLauncher& app);

// Starts `file` through the shell with the verb "open" and the argument string
// `parameters` passed unchanged (empty: no arguments), as `start` says, and
// waits for it without a time limit. `file` is the full
// path of a program, or of a document that the shell opens with the program
// its type registers. Give programs by full path: the shell looks for a bare
// name in the launcher's own folder first (see WindowsInstallerPath).
//
// Returns the child's exit code once it has ended; the system error code when
// the shell could not start it (the shell may show its own message first,
// unless `start.noErrorUi`), or when TMP and TEMP could not be set for it;
// exit_code::kWaitFailed (-1) when waiting failed (for example when the shell handed a
// document to an already running program and returned no process); the system error code of GetExitCodeProcess when
// that failed. These ranges overlap: callers treat 0 as success and anything else as failure. A start failure without a
// system code gives exit_code::kFailureWithoutCode.
int RunProgram(const std::wstring& file, const std::wstring& parameters, const ChildStart& start = {});

// Waits without a time limit for the process `process` (which it takes over
// and closes on every path) and returns its exit code; exit_code::kWaitFailed when the wait
// failed; GetExitCodeProcess's system error code when reading the code failed.
int WaitForProcessExit(UniqueKernelHandle process);

// Extracts the "EXE" resource `name` into the work folder as `fileName` and
// holds it (ExtractHeldPayload) until the program has ended, and runs it with
// `arguments` through RunProgram, started as ChildStartForPayload(app) says.
// Returns the nonzero extraction status (nothing is started), else
// RunProgram's result. The extracted file stays in the work folder.
int RunPayloadProgram(CInstallerLauncher& app, const wchar_t* name, const wchar_t* fileName,
                      const std::wstring& arguments);

// Full path of Windows Installer's program in the system folder
// (<system folder>\msiexec.exe); a 32-bit process under WOW64 gets the 32-bit
// one, as the bare name would on a clean machine. Never the bare name, so a
// planted msiexec.exe beside the launcher is never run. Returns 0 and sets
// `path`, or the system error code of GetSystemDirectoryW (`path` empty).
int WindowsInstallerPath(std::wstring& path);
