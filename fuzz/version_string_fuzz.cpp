// The reading of an installed product's version text ("DisplayVersion"):
// ParseVersionString and ParseVersionField against a slow reference built on
// the C library's own wcstol (base 10), clamped to 32 bits the way a 32-bit
// long clamps, on a NUL-terminated copy of each field.
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "settings/version_string.h"

namespace {

// wcstol in the "C" locale, clamped to the signed 32-bit range. Where long
// has 64 bits (here) the clamp gives what a 32-bit long's LONG_MAX/LONG_MIN
// clamp gives: the same sign, the limit of the range. The field is copied up
// to its first NUL, as a C string ends there.
std::int32_t ReferenceField(const std::wstring& field)
{
    const std::wstring copy(field.c_str());
    errno = 0;
    const long value = std::wcstol(copy.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// The split, one character at a time: positions of the first three full stops.
bool ReferenceVersion(const std::wstring& text, std::int32_t& major, std::int32_t& minor, std::int32_t& build)
{
    std::size_t stops[3];
    int found = 0;
    for (std::size_t i = 0; i < text.size() && found < 3; ++i) {
        if (text[i] == L'.')
            stops[found++] = i;
    }
    if (found < 2)
        return false;
    if (found == 2)
        stops[2] = text.size();
    major = ReferenceField(text.substr(0, stops[0]));
    minor = ReferenceField(text.substr(stops[0] + 1, stops[1] - stops[0] - 1));
    build = ReferenceField(text.substr(stops[1] + 1, stops[2] - stops[1] - 1));
    return true;
}

// The parser's white space is the six ASCII characters that wcstol skips in
// the "C" locale. glibc's wcstol skips whatever iswspace says, so the
// reference is only a reference where the two agree: checked once for every
// code unit.
bool CLocaleSpacesAreTheSixAscii()
{
    for (unsigned c = 0; c <= 0xFFFF; ++c) {
        const bool ascii = c == ' ' || (c >= '\t' && c <= '\r');
        if ((std::iswspace(static_cast<wint_t>(c)) != 0) != ascii)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::setlocale(LC_ALL, "C");
    FUZZ_CHECK(CLocaleSpacesAreTheSixAscii());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = CodeUnitsFromBytes(data, size);
    // A buffer of exactly the text's size and no terminator, so that
    // AddressSanitizer sees any read past the end.
    std::unique_ptr<wchar_t[]> exact(new wchar_t[text.size() ? text.size() : 1]);
    std::memcpy(exact.get(), text.data(), text.size() * sizeof(wchar_t));
    const std::wstring_view view(exact.get(), text.size());

    // Outputs are untouched on false: start them at values no field can give
    // together.
    std::int32_t major = 111, minor = 222, build = 333;
    std::int32_t refMajor = 0, refMinor = 0, refBuild = 0;
    const bool parsed = ParseVersionString(view, major, minor, build);
    const bool expected = ReferenceVersion(text, refMajor, refMinor, refBuild);
    FUZZ_CHECK(parsed == expected);
    if (parsed) {
        FUZZ_CHECK(major == refMajor && minor == refMinor && build == refBuild);
    } else {
        FUZZ_CHECK(major == 111 && minor == 222 && build == 333);
    }

    // The whole input as one field.
    FUZZ_CHECK(ParseVersionField(view) == ReferenceField(text));
    return 0;
}
