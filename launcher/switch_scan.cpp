#include "launcher/switch_scan.h"

#include "launcher/product_constants.h"

namespace {

const wchar_t kSwitchPrefixes[] = L"-/";
const wchar_t kNameDelimiters[] = L"-/\" ";
const wchar_t kBlanks[] = L" \t";
const wchar_t kQuietName[] = L"quiet";
const wchar_t kMsiArgsName[] = L"msiargs";
const wchar_t kLogName[] = L"log";
const wchar_t kQuietValueHead[] = L"/i ";
const wchar_t kQuietValueTail[] = L" /quiet";

// Only A-Z are folded: the switch names are ASCII, and folding other letters
// through the C run time's locale would make the scan depend on it.
std::wstring FoldAsciiToLower(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

// Consumes a delimited value ("msiargs", "log") from the front of `rest` into
// `value` when it has one.
void TakeDelimitedValue(std::wstring& rest, std::wstring& value)
{
    std::int32_t open = FindFirstNonBlank(rest);
    if (open < 0)
        return;
    const size_t openAt = static_cast<size_t>(open);
    const size_t closeAt = rest.find(rest[openAt], openAt + 1);
    if (closeAt == std::wstring::npos)
        return;
    value = rest.substr(openAt + 1, closeAt - openAt - 1);
    rest.erase(0, closeAt + 1);
}

// One scan of the tail. With `msiArgs`, "quiet" and "msiargs" set it and
// "log" is an unknown switch; with `logPath`, "log" sets it, "msiargs" values
// are consumed for nothing and "quiet" is nothing.
void Scan(const std::wstring& tail, std::wstring* msiArgs, std::wstring* logPath)
{
    std::wstring rest = tail;
    std::wstring skipped;
    for (;;) {
        const size_t prefix = rest.find_first_of(kSwitchPrefixes);
        if (prefix == std::wstring::npos)
            return;
        rest.erase(0, prefix + 1);

        size_t nameLength = rest.find_first_of(kNameDelimiters);
        if (nameLength == std::wstring::npos)
            nameLength = rest.size();
        const std::wstring name = FoldAsciiToLower(rest.substr(0, nameLength));
        rest.erase(0, nameLength);

        if (name == kQuietName && msiArgs)
            *msiArgs = std::wstring(kQuietValueHead) + product::kPackagePathToken + kQuietValueTail;
        else if (name == kMsiArgsName)
            TakeDelimitedValue(rest, msiArgs ? *msiArgs : skipped);
        else if (name == kLogName && logPath)
            TakeDelimitedValue(rest, *logPath);
    }
}

} // namespace

std::int32_t FindFirstNonBlank(const std::wstring& text)
{
    const size_t at = text.find_first_not_of(kBlanks);
    return at == std::wstring::npos ? -1 : static_cast<std::int32_t>(at);
}

void ScanSwitches(const std::wstring& tail, std::wstring& msiArgs)
{
    Scan(tail, &msiArgs, nullptr);
}

void ScanLogPath(const std::wstring& tail, std::wstring& logPath)
{
    Scan(tail, nullptr, &logPath);
}
