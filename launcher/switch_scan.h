#pragma once
// The scan of the launcher's command-line switches. Plain C++ without Windows
// headers, so it can be exercised natively (fuzzing).
#include <cstdint>
#include <string>

// Index of the first character of `text` that is neither space nor tab, or -1
// when `text` is empty or holds only spaces and tabs.
std::int32_t FindFirstNonBlank(const std::wstring& text);

// Scans the command line without the program name, `tail`, for the switches
// "quiet" and "msiargs" and sets `msiArgs` from them; the last switch that
// yields a value wins. `msiArgs` is left as it was when no switch yields a
// value. Any input is accepted: unknown switches, stray text and unbalanced
// delimiters are ignored. Never reads outside `tail`.
//
// A switch starts at any "-" or "/" and its name runs to the next "-", "/",
// double quote or space (folded to lower case for A-Z only). "quiet" sets
// "/i $MSIPATH /quiet". "msiargs" takes the first non-blank character after
// the name as a delimiter and the text up to the next same character as its
// value; without a closing delimiter it yields nothing.
void ScanSwitches(const std::wstring& tail, std::wstring& msiArgs);

// The scan for the switch "log", apart from the one above so that "log" can
// never change the installer arguments: ScanSwitches sees a "log" switch as
// any unknown one, and the text of its value as any other text (a log path
// holding "-quiet" also sets the quiet installation). Here the value of "log"
// is taken exactly as that of "msiargs" (any delimiter, consumed with it) and
// sets `logPath`; the last "log" with a value wins, and `logPath` is left as
// it was when none yields one. "msiargs" values are consumed the same way and
// taken for nothing, so a "-log" inside one stays part of that value.
void ScanLogPath(const std::wstring& tail, std::wstring& logPath);
