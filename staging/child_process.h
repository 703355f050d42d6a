#pragma once
// Running child programs through the shell and waiting for them.
#include <windows.h>

#include <string>

#include "framework/unique_handle.h"

class CInstallerLauncher;

// How a child is started.
struct ChildStart {
    // The shell shows no error box of its own when the start fails
    // (SEE_MASK_FLAG_NO_UI): the start fails at once with its code. For an
    // unattended run, where nobody may be there to close the box (a
    // deployment tool under SYSTEM) and the run would wait on it for ever.
    bool noErrorUi = false;
};

// The start of a child of this run: without the shell's error box when the
// run is unattended (installer arguments set by "quiet" or "msiargs").
ChildStart ChildStartFor(const CInstallerLauncher& app);

// Starts `file` through the shell with the verb "open" and the argument string
// `parameters` passed unchanged (empty: no arguments), in the launcher's
// current directory, as `start` says, and waits for it without a time limit. `file` is the full
// path of a program, or of a document that the shell opens with the program
// its type registers. Give programs by full path: the shell looks for a bare
// name in the launcher's own folder first (see WindowsInstallerPath).
//
// Returns the child's exit code once it has ended; the system error code when
// the shell could not start it (the shell may show its own message first,
// unless `start.noErrorUi`); exit_code::kWaitFailed (-1) when waiting failed (for example when the shell handed a
// document to an already running program and returned no process); the system error code of GetExitCodeProcess when
// that failed. These ranges overlap: callers treat 0 as success and anything else as failure. A start failure without a
// system code gives exit_code::kFailureWithoutCode.
int RunProgram(const std::wstring& file, const std::wstring& parameters, const ChildStart& start = {});

// Waits without a time limit for the process `process` (which it takes over
// and closes on every path) and returns its exit code; exit_code::kWaitFailed when the wait
// failed; GetExitCodeProcess's system error code when reading the code failed.
int WaitForProcessExit(UniqueKernelHandle process);

// Extracts the "EXE" resource `name` into the work folder as `fileName` (see
// ExtractPayload) and runs it with `arguments` through RunProgram, started as
// ChildStartFor(app) says. Returns the
// nonzero extraction status (nothing is started), else RunProgram's result.
// The extracted file stays in the work folder.
int RunPayloadProgram(CInstallerLauncher& app, const wchar_t* name, const wchar_t* fileName,
                      const std::wstring& arguments);

// Full path of Windows Installer's program in the system folder
// (<system folder>\msiexec.exe); a 32-bit process under WOW64 gets the 32-bit
// one, as the bare name would on a clean machine. Never the bare name, so a
// planted msiexec.exe beside the launcher is never run. Returns 0 and sets
// `path`, or the system error code of GetSystemDirectoryW (`path` empty).
int WindowsInstallerPath(std::wstring& path);
