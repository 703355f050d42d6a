#include "tests/support/registry_snapshot.h"

#include <cwchar>
#include <ostream>
#include <vector>

#include "framework/unique_handle.h"

namespace testing_support {

namespace {

std::vector<std::wstring> EnumNames(HKEY key, bool values)
{
    std::vector<std::wstring> names;
    DWORD maxSubkey = 0, maxValueName = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr, &maxValueName, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> name((values ? maxValueName : maxSubkey) + 1);
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG status = values ? RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                                   : RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

void Fill(HKEY key, REGSAM view, KeySnapshot& snapshot)
{
    snapshot.exists = true;
    for (const std::wstring& name : EnumNames(key, true)) {
        ValueSnapshot& value = snapshot.values[name];
        ReadValueExact(key, name, value.type, value.bytes);
    }
    for (const std::wstring& name : EnumNames(key, false)) {
        KeySnapshot& child = snapshot.subkeys[name];
        UniqueHkey opened;
        if (opened.receive([&](HKEY* slot) { return RegOpenKeyExW(key, name.c_str(), 0, KEY_READ | view, slot); }) ==
            ERROR_SUCCESS)
            Fill(opened.get(), view, child);
    }
}

bool Write(HKEY parent, const std::wstring& name, const KeySnapshot& snapshot, REGSAM view)
{
    UniqueHkey key;
    if (key.receive([&](HKEY* slot) {
            return RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, slot, nullptr);
        }) != ERROR_SUCCESS)
        return false;
    for (const auto& value : snapshot.values) {
        if (WriteValueExact(key.get(), value.first, value.second.type, value.second.bytes) != ERROR_SUCCESS)
            return false;
    }
    for (const auto& child : snapshot.subkeys) {
        if (child.second.exists && !Write(key.get(), child.first, child.second, view))
            return false;
    }
    return true;
}

std::wstring Describe(const ValueSnapshot& value)
{
    return L"type " + std::to_wstring(value.type) + L", " + std::to_wstring(value.bytes.size()) + L" bytes";
}

std::wstring Difference(const std::wstring& at, const KeySnapshot& expected, const KeySnapshot& actual)
{
    if (expected.exists != actual.exists)
        return at + (expected.exists ? L": key missing" : L": key present but expected absent");
    for (const auto& value : expected.values) {
        const auto found = actual.values.find(value.first);
        if (found == actual.values.end())
            return at + L": value \"" + value.first.substr(0, 40) + L"\" missing";
        if (found->second != value.second)
            return at + L": value \"" + value.first.substr(0, 40) + L"\" is " + Describe(found->second) +
                   L", expected " + Describe(value.second);
    }
    for (const auto& value : actual.values) {
        if (expected.values.count(value.first) == 0)
            return at + L": unexpected value \"" + value.first.substr(0, 40) + L"\"";
    }
    for (const auto& key : expected.subkeys) {
        const auto found = actual.subkeys.find(key.first);
        if (found == actual.subkeys.end())
            return at + L"\\" + key.first.substr(0, 40) + L": key missing";
        const std::wstring inner = Difference(at + L"\\" + key.first.substr(0, 40), key.second, found->second);
        if (!inner.empty())
            return inner;
    }
    for (const auto& key : actual.subkeys) {
        if (expected.subkeys.count(key.first) == 0)
            return at + L"\\" + key.first.substr(0, 40) + L": unexpected key";
    }
    return L"";
}

std::wstring Hex(const Bytes& data)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (std::uint8_t b : data) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

bool ParseHex(const std::wstring& text, Bytes& out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

void Format(const std::wstring& path, const KeySnapshot& key, std::wstring& out)
{
    if (!key.exists)
        return;
    out += L"K\t" + path + L"\r\n";
    for (const auto& value : key.values)
        out += L"V\t" + path + L"\t" + value.first + L"\t" + std::to_wstring(value.second.type) + L"\t" +
               Hex(value.second.bytes) + L"\r\n";
    for (const auto& child : key.subkeys)
        Format(path.empty() ? child.first : path + L"\\" + child.first, child.second, out);
}

// The key at `path` below `root`, created (not existing) where missing.
KeySnapshot& KeyAt(KeySnapshot& root, const std::wstring& path)
{
    KeySnapshot* key = &root;
    size_t from = 0;
    while (from < path.size()) {
        size_t slash = path.find(L'\\', from);
        if (slash == std::wstring::npos)
            slash = path.size();
        key = &key->subkeys[path.substr(from, slash - from)];
        from = slash + 1;
    }
    return *key;
}

void ParseLine(const std::wstring& line, KeySnapshot& root)
{
    if (line.rfind(L"K\t", 0) == 0) {
        KeyAt(root, line.substr(2)).exists = true;
        return;
    }
    if (line.rfind(L"V\t", 0) != 0)
        return;
    // "V\t<path>\t<name>\t<type>\t<hex>": key names hold no tab, so the path
    // ends at the first tab, and the type and data are the last two fields.
    const size_t pathEnd = line.find(L'\t', 2);
    const size_t hexTab = line.rfind(L'\t');
    const size_t typeTab =
        hexTab == std::wstring::npos || hexTab == 0 ? std::wstring::npos : line.rfind(L'\t', hexTab - 1);
    if (pathEnd == std::wstring::npos || typeTab == std::wstring::npos || typeTab <= pathEnd)
        return;
    ValueSnapshot value;
    value.type = static_cast<DWORD>(std::wcstoul(line.substr(typeTab + 1, hexTab - typeTab - 1).c_str(), nullptr, 10));
    if (!ParseHex(line.substr(hexTab + 1), value.bytes))
        return;
    KeyAt(root, line.substr(2, pathEnd - 2)).values[line.substr(pathEnd + 1, typeTab - pathEnd - 1)] = value;
}

void PrintWide(const std::wstring& text, std::ostream* os)
{
    if (text.empty())
        return;
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    *os << utf8;
}

} // namespace

ValueSnapshot TextValue(const std::wstring& text)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return ValueSnapshot{REG_SZ, Bytes(p, p + (text.size() + 1) * sizeof(wchar_t))};
}

KeySnapshot EmptyKey()
{
    KeySnapshot key;
    key.exists = true;
    return key;
}

KeySnapshot TakeSnapshot(const std::wstring& path, REGSAM view)
{
    KeySnapshot snapshot;
    UniqueHkey key;
    if (key.receive([&](HKEY* slot) {
            return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, slot);
        }) == ERROR_SUCCESS)
        Fill(key.get(), view, snapshot);
    return snapshot;
}

bool WriteSnapshot(const std::wstring& path, const KeySnapshot& snapshot, REGSAM view)
{
    return Write(HKEY_LOCAL_MACHINE, path, snapshot, view);
}

std::wstring FirstDifference(const KeySnapshot& expected, const KeySnapshot& actual)
{
    return Difference(L"", expected, actual);
}

std::size_t CountKeys(const KeySnapshot& snapshot)
{
    std::size_t count = snapshot.exists ? 1 : 0;
    for (const auto& child : snapshot.subkeys)
        count += CountKeys(child.second);
    return count;
}

std::size_t CountValues(const KeySnapshot& snapshot)
{
    std::size_t count = snapshot.values.size();
    for (const auto& child : snapshot.subkeys)
        count += CountValues(child.second);
    return count;
}

std::wstring FormatSnapshot(const KeySnapshot& snapshot)
{
    std::wstring out;
    Format(L"", snapshot, out);
    return out;
}

KeySnapshot ParseSnapshot(const std::wstring& text)
{
    KeySnapshot root;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        ParseLine(text.substr(start, end - start), root);
        start = end + 2;
    }
    return root;
}

void PrintTo(const KeySnapshot& snapshot, std::ostream* os)
{
    *os << (snapshot.exists ? "\n" : "(no key)");
    PrintWide(FormatSnapshot(snapshot), os);
}

void PrintTo(const ValueSnapshot& value, std::ostream* os)
{
    PrintWide(L"type " + std::to_wstring(value.type) + L", data " + Hex(value.bytes), os);
}

} // namespace testing_support
