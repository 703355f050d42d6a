#include "settings/version_string.h"

#include <cstddef>

namespace {

bool IsFieldSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

} // namespace

std::int32_t ParseVersionField(std::wstring_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsFieldSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // The magnitude saturates one past INT32_MAX: that is exactly the size of
    // INT32_MIN, and anything larger clamps the same way, so the arithmetic
    // never overflows however many digits follow.
    const std::uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint32_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const std::uint32_t digit = static_cast<std::uint32_t>(text[i] - L'0');
        if (magnitude > (limit - digit) / 10u)
            magnitude = limit;
        else
            magnitude = magnitude * 10u + digit;
    }
    if (!negative)
        return static_cast<std::int32_t>(magnitude);
    if (magnitude == 0x80000000u)
        return INT32_MIN;
    return -static_cast<std::int32_t>(magnitude);
}

bool ParseVersionString(std::wstring_view text, std::int32_t& major, std::int32_t& minor, std::int32_t& build)
{
    const std::size_t p1 = text.find(L'.');
    if (p1 == std::wstring_view::npos)
        return false;
    const std::size_t p2 = text.find(L'.', p1 + 1);
    if (p2 == std::wstring_view::npos)
        return false;
    std::size_t p3 = text.find(L'.', p2 + 1);
    if (p3 == std::wstring_view::npos)
        p3 = text.size();
    major = ParseVersionField(text.substr(0, p1));
    minor = ParseVersionField(text.substr(p1 + 1, p2 - p1 - 1));
    build = ParseVersionField(text.substr(p2 + 1, p3 - p2 - 1));
    return true;
}
