#pragma once
// The run log: a UTF-8 text file, one line per event of the run, written when
// the command line names one with the switch "log". Without it every function
// here does nothing. Lines end in CR LF and are written as they happen (no
// buffering), so the log of a run that ends abruptly is complete up to there.
//
// Logging never changes the run: a log that cannot be opened or written is
// given up silently, and every function leaves the calling thread's last
// error code as it found it.
#include <windows.h>

#include <string>

// Opens the log file at `path` (creating it when missing), sharing it for
// reading only, and empties it. A reparse point at `path` (a symbolic link or
// junction) is not followed, and an existing file is truncated only when its
// handle shows a plain file with exactly one name (IsPlainFileForLog): a link
// planted in the log's place, or a second name of someone else's file, is
// left exactly as it was. Returns true when the log is open; false leaves
// logging off (any log opened before is closed).
bool OpenRunLog(const std::wstring& path);

// True when a file with `attributes` and `links` names may be truncated and
// written as the log: neither a reparse point nor a folder, and one name.
bool IsPlainFileForLog(DWORD attributes, DWORD links);

// Closes the log; later calls log nothing.
void CloseRunLog();

// True while a log is open.
bool RunLogIsOpen();

// Appends `line` (without its end) to the log.
void LogLine(const std::wstring& line);

// "Launcher version <version of this build>".
void LogLauncherVersion();

// "Step <name>: <result>" for a step's integer status or Boolean result, and
// "Step <name>: done" for a step without a result.
void LogStep(const wchar_t* name, int result);
void LogStep(const wchar_t* name, bool result);
void LogStep(const wchar_t* name);

// "Diagnostic: <line>", the diagnostic line that `format` (a printf format
// with one "%d") makes with `code`, without its line end.
void LogDiagnostic(const char* format, int code);

// `value` in signed decimal ("-1", "1603"), made without the C run time.
std::wstring DecimalText(long long value);

// `label` followed by `value` in signed decimal: "Exit code: 1603".
void LogNumber(const wchar_t* label, long long value);
