#include "framework/command_tail.h"

const wchar_t* SkipProgramName(const wchar_t* commandLine)
{
    if (commandLine == nullptr)
        return L"";
    const wchar_t* p = commandLine;
    bool inQuotes = false;
    for (; *p != L'\0'; ++p) {
        if (*p == L'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && static_cast<unsigned>(*p) <= 32u)
            break;
    }
    while (*p != L'\0' && static_cast<unsigned>(*p) <= 32u)
        ++p;
    return p;
}
