#pragma once
// Raw access to one registry value: its registry type and data bytes exactly
// as stored, with no interpretation.
#include <windows.h>

#include <vector>

namespace registry_detail {

// How often a value that keeps growing between the size query and the data
// query is asked for again before the read gives up.
constexpr int kMaxValueQueries = 8;

// Reads the value `name` (empty: the default value) of an open key into
// `data` (resized to the byte count stored) and its registry type into *type.
// When the value grows between the size query and the data query, it is
// queried again with the new size, at most kMaxValueQueries times.
// Returns ERROR_SUCCESS; ERROR_MORE_DATA when the value was still growing at the last query; or the
// platform's error (ERROR_FILE_NOT_FOUND for a missing value). On failure
// `data` is empty. Never throws: a buffer that cannot be had ends the process
// (see framework/lean_runtime.cpp).
LONG QueryRawValue(HKEY key, const wchar_t* name, DWORD* type, std::vector<BYTE>& data) noexcept;

// Writes `data` as the value `name` of an open key with type `type`, exactly:
// RegSetValueExW counts one more character for string data (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) whose last character is not NUL when a NUL
// happens to follow the data in memory (Wine does this, and by its own account
// Windows does too), so a copy would gain a terminator its source lacks. A
// non-NUL guard is put after the data for the call and taken off again;
// `data` is unchanged on return. Returns the platform's result, or
// ERROR_NOT_ENOUGH_MEMORY when the guard could not be added. Never throws.
LONG SetRawValue(HKEY key, const wchar_t* name, DWORD type, std::vector<BYTE>& data) noexcept;

} // namespace registry_detail
