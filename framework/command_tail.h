#pragma once
// Splitting the process command line into the program name and the rest.
// Plain C++ without Windows headers, so it can be exercised natively (fuzzing).

// Returns a pointer into `commandLine` at the first character after the
// program name and the blanks that follow it; never null, never past the
// terminating NUL. `commandLine` must be NUL-terminated; a null pointer gives
// a pointer to an empty string.
//
// The program name ends at the first character with a code of 32 or less that
// does not stand between double quotes (each double quote switches between
// outside and inside). All following characters with codes 1 to 32 are
// skipped. Nothing after that is changed or interpreted.
const wchar_t* SkipProgramName(const wchar_t* commandLine);
