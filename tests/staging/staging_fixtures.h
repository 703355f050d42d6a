#pragma once
// Helpers of the staging tests alone; what other tests share is in
// tests/support.
#include <string>

namespace staging_fixtures {

// True when `text` has the form of UuidToStringW's output: 8-4-4-4-12
// lowercase hexadecimal digits.
inline bool IsUuidText(const std::wstring& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != L'-')
                return false;
        } else if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace staging_fixtures
