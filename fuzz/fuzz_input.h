#pragma once
// Turns fuzzer bytes into UTF-16 text the way Windows holds it: every two
// bytes are one code unit (0 to 0xFFFF), whatever the width of wchar_t here.
#include <cstddef>
#include <cstdint>
#include <string>

inline std::wstring CodeUnitsFromBytes(const std::uint8_t* data, std::size_t size)
{
    std::wstring text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            __builtin_trap();                                                                                          \
    } while (0)
