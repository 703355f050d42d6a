#pragma once
// The two characters that file paths and registry key paths are put together
// with.
#include <string>

// Between the levels of a file path and of a registry key path.
inline constexpr wchar_t kPathSeparator[] = L"\\";

// Around a path that is one argument of a command line: spaces in it then do
// not split it. A Windows path holds no quote.
inline constexpr wchar_t kPathQuote[] = L"\"";

// `path` between two kPathQuote.
inline std::wstring QuotedPath(const std::wstring& path)
{
    return kPathQuote + path + kPathQuote;
}
