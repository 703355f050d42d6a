#pragma once
#include <windows.h>

// Asks whether the calling process runs under WOW64 (a 32-bit process on
// 64-bit Windows). IsWow64Process is looked up in kernel32 at run time, since
// 32-bit Windows before XP SP2 lacks it.
//
// Returns TRUE when the answer is known: *isWow64 is then TRUE or FALSE (FALSE
// when kernel32 has no IsWow64Process). Returns FALSE when IsWow64Process
// exists and failed; GetLastError() then holds the system error code and
// *isWow64 is FALSE.
BOOL QueryWow64(BOOL* isWow64);
