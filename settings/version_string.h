#pragma once
// The reading of an installed product's version text ("DisplayVersion").
// Plain C++ without Windows headers, so it can be exercised natively
// (fuzzing).
#include <cstdint>
#include <string_view>

// Reads `text` as the decimal value of one version field, the way the C run
// time's wcstol does with base 10: leading white space (space, tab, line feed,
// vertical tab, form feed, carriage return) is skipped, one optional "+" or
// "-" is taken, then the decimal digits "0" to "9" up to the first other
// character. A field without digits is 0. A value outside the signed 32-bit
// range is clamped to INT32_MAX or INT32_MIN, as wcstol clamps to LONG_MAX
// and LONG_MIN where long has 32 bits. Never reads outside `text`; any code
// unit value is accepted.
std::int32_t ParseVersionField(std::wstring_view text);

// Splits a version text at its full stops and reads the first three fields:
// `major` from the text before the first full stop, `minor` from the text
// between the first and the second, `build` from the text between the second
// and the third (or the end). Anything after a third full stop is ignored, so
// "1.0.9.1234" gives 1, 0, 9 and "2.1.0beta" gives 2, 1, 0.
// Returns true and writes all three outputs when the text holds at least two
// full stops; returns false and leaves all three untouched otherwise.
bool ParseVersionString(std::wstring_view text, std::int32_t& major, std::int32_t& minor, std::int32_t& build);
