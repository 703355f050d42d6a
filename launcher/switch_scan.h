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

// The same scan, which also reads the switch "log": its value is taken exactly
// as that of "msiargs" (any delimiter, consumed with it) and sets `logPath`;
// the last "log" with a value wins, and `logPath` is left as it was when none
// yields one. "msiArgs" comes out exactly as from the scan above: a "-log"
// inside a delimited "msiargs" value stays part of that value, and the value
// of "log" is consumed, so prefixes inside it start no switch.
void ScanSwitches(const std::wstring& tail, std::wstring& msiArgs, std::wstring& logPath);
