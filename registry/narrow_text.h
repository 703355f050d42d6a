#pragma once
// Conversion between the registry's UTF-16 text and the value model's narrow
// text, which is ISO 8859-1: code units U+0000 to U+00FF map to the byte of
// the same value, and any unit above U+00FF (surrogates included) cannot be
// converted.
//
// Done by hand rather than through wcstombs_s/mbstowcs_s, because the C run
// times disagree: Wine's wcstombs_s size query succeeds for units above
// U+00FF although its conversion fails. This gives one answer everywhere.
// Plain C++ without Windows headers (wchar_t is 16 bits on Windows; on Linux
// any unit above U+00FF fails just the same).

#include <cstddef>

namespace KV {

// Number of units before the first NUL among the first maxUnits units, or
// maxUnits when there is none. Never reads past maxUnits.
std::size_t BoundedLength(const wchar_t* text, std::size_t maxUnits) noexcept;
std::size_t BoundedLength(const char* text, std::size_t maxBytes) noexcept;

// Converts `count` units at text (NULs included as they come) into `count`
// bytes at out followed by a NUL: out must hold count + 1 bytes. Returns false
// and writes nothing when any unit is above U+00FF.
bool NarrowText(const wchar_t* text, std::size_t count, char* out) noexcept;

// Widens `count` bytes at text into `count` units at out followed by a NUL:
// out must hold count + 1 units. Never fails.
void WidenText(const char* text, std::size_t count, wchar_t* out) noexcept;

} // namespace KV
