// The command line: the program-name split that gives m_lpCmdLine, the
// switch scan that gives the installer arguments and the one that gives the
// log path. Each is checked against a slow, obviously correct reference
// written from the rules, not from the code.
#include <cstring>
#include <memory>

#include "framework/command_tail.h"
#include "fuzz/fuzz_input.h"
#include "launcher/switch_scan.h"

namespace {

// Reference for SkipProgramName, one character at a time by index.
std::size_t ReferenceTailStart(const std::wstring& line)
{
    std::size_t i = 0;
    bool inside = false;
    while (i < line.size()) {
        const unsigned c = static_cast<unsigned>(line[i]);
        if (c == '"')
            inside = !inside;
        else if (!inside && c <= 32)
            break;
        ++i;
    }
    while (i < line.size() && static_cast<unsigned>(line[i]) >= 1 && static_cast<unsigned>(line[i]) <= 32)
        ++i;
    return i;
}

bool IsPrefix(wchar_t c)
{
    return c == L'-' || c == L'/';
}
bool IsNameDelimiter(wchar_t c)
{
    return c == L'-' || c == L'/' || c == L'"' || c == L' ';
}
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// One switch of the tail found by the references below: its folded name, and
// where the text after the name starts.
struct ReferenceSwitch {
    std::wstring name;
    std::size_t after;
};

// From `pos`, the next switch, or false when no prefix is left.
bool NextSwitch(const std::wstring& tail, std::size_t pos, ReferenceSwitch& found)
{
    while (pos < tail.size() && !IsPrefix(tail[pos]))
        ++pos;
    if (pos >= tail.size())
        return false;
    ++pos;
    std::size_t end = pos;
    while (end < tail.size() && !IsNameDelimiter(tail[end]))
        ++end;
    found.name.clear();
    for (std::size_t i = pos; i < end; ++i) {
        wchar_t c = tail[i];
        found.name.push_back(c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c);
    }
    found.after = end;
    return true;
}

// A delimited value at `pos` (blanks, delimiter, text, the same delimiter):
// sets `value` and `pos` after it, or returns false and leaves both.
bool DelimitedValue(const std::wstring& tail, std::size_t& pos, std::wstring& value)
{
    std::size_t open = pos;
    while (open < tail.size() && IsBlank(tail[open]))
        ++open;
    if (open >= tail.size())
        return false;
    std::size_t close = open + 1;
    while (close < tail.size() && tail[close] != tail[open])
        ++close;
    if (close >= tail.size())
        return false;
    value = tail.substr(open + 1, close - open - 1);
    pos = close + 1;
    return true;
}

// Reference for ScanSwitches: only "quiet" and "msiargs" exist; a cursor over
// the text instead of erasing a copy.
std::wstring ReferenceArgs(const std::wstring& tail, std::wstring args)
{
    ReferenceSwitch sw;
    for (std::size_t pos = 0; NextSwitch(tail, pos, sw);) {
        pos = sw.after;
        if (sw.name == L"quiet")
            args = L"/i $MSIPATH /quiet";
        else if (sw.name == L"msiargs")
            DelimitedValue(tail, pos, args);
    }
    return args;
}

// Reference for ScanLogPath: "log" takes its value, "msiargs" values are
// passed over, everything else is nothing.
std::wstring ReferenceLog(const std::wstring& tail, std::wstring log)
{
    ReferenceSwitch sw;
    for (std::size_t pos = 0; NextSwitch(tail, pos, sw);) {
        pos = sw.after;
        std::wstring skipped;
        if (sw.name == L"log")
            DelimitedValue(tail, pos, log);
        else if (sw.name == L"msiargs")
            DelimitedValue(tail, pos, skipped);
    }
    return log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = CodeUnitsFromBytes(data, size);

    // The split runs on a NUL-terminated copy in a buffer of exactly that size,
    // so AddressSanitizer sees any read past the terminator.
    std::unique_ptr<wchar_t[]> line(new wchar_t[text.size() + 1]);
    std::memcpy(line.get(), text.data(), text.size() * sizeof(wchar_t));
    line[text.size()] = L'\0';
    const std::size_t nul = std::wcslen(line.get());
    const wchar_t* tail = SkipProgramName(line.get());
    FUZZ_CHECK(tail >= line.get() && tail <= line.get() + nul);
    FUZZ_CHECK(static_cast<std::size_t>(tail - line.get()) == ReferenceTailStart(std::wstring(line.get(), nul)));

    // The scans: against the references, from an empty and from a set start.
    for (const wchar_t* start : {L"", L"earlier value"}) {
        std::wstring args = start;
        ScanSwitches(text, args);
        FUZZ_CHECK(args == ReferenceArgs(text, start));
        std::wstring log = start;
        ScanLogPath(text, log);
        FUZZ_CHECK(log == ReferenceLog(text, start));
        // Whatever they yield is the start, the quiet value, or a piece of the input.
        FUZZ_CHECK(args == start || args == L"/i $MSIPATH /quiet" || text.find(args) != std::wstring::npos);
        FUZZ_CHECK(log == start || text.find(log) != std::wstring::npos);
    }

    const std::int32_t first = FindFirstNonBlank(text);
    FUZZ_CHECK(first >= -1 && first < static_cast<std::int32_t>(text.size()) + 0);
    if (first >= 0)
        FUZZ_CHECK(!IsBlank(text[static_cast<std::size_t>(first)]));
    return 0;
}
