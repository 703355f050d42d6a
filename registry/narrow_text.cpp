#include "registry/narrow_text.h"

namespace KV {

std::size_t BoundedLength(const wchar_t* text, std::size_t maxUnits) noexcept
{
    std::size_t n = 0;
    while (n < maxUnits && text[n] != L'\0')
        ++n;
    return n;
}

std::size_t BoundedLength(const char* text, std::size_t maxBytes) noexcept
{
    std::size_t n = 0;
    while (n < maxBytes && text[n] != '\0')
        ++n;
    return n;
}

bool NarrowText(const wchar_t* text, std::size_t count, char* out) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        // Compared unsigned: a negative wchar_t (never on Windows) fails too.
        if (static_cast<unsigned long>(text[i]) > 0xFFul)
            return false;
    }
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>(text[i]));
    out[count] = '\0';
    return true;
}

void WidenText(const char* text, std::size_t count, wchar_t* out) noexcept
{
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    out[count] = L'\0';
}

} // namespace KV
