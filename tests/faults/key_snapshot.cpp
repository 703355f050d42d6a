#include "key_snapshot.h"

namespace faults {

namespace {

void Fill(HKEY key, KeySnapshot& snapshot)
{
    snapshot.exists = true;
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxName, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(maxName + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = 0;
        DWORD type = 0;
        // The size first, then the data into a buffer of exactly that size:
        // Wine's readers append a terminator to string data that lacks one
        // when the buffer has room for it (see docs/WINE.md).
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS)
            break;
        const std::wstring valueName(name.data(), nameLength);
        ValueSnapshot& value = snapshot.values[valueName];
        value.type = type;
        value.bytes.resize(dataSize);
        DWORD got = dataSize;
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, dataSize ? value.bytes.data() : nullptr, &got) ==
            ERROR_SUCCESS)
            value.bytes.resize(got);
    }
    std::vector<wchar_t> subkey(maxSubkey + 2);
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExW(key, i, subkey.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(subkey.data(), length);
    }
    for (const auto& child : names) {
        HKEY opened = nullptr;
        KeySnapshot& entry = snapshot.subkeys[child];
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            Fill(opened, entry);
            RegCloseKey(opened);
        }
    }
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
        if (!(found->second == value.second))
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

bool Write(HKEY parent, const std::wstring& name, const KeySnapshot& snapshot, REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const auto& value : snapshot.values) {
        // RegSetValueExW counts one more character for string data whose last
        // character is not NUL when a NUL follows it in memory (Windows and
        // Wine alike): a non-NUL guard after the data keeps the bytes exact.
        std::vector<std::uint8_t> data = value.second.bytes;
        const size_t size = data.size();
        data.insert(data.end(), {'X', 0, 'X', 0, 0, 0});
        ok = ok && RegSetValueExW(key, value.first.c_str(), 0, value.second.type, data.data(),
                                  static_cast<DWORD>(size)) == ERROR_SUCCESS;
    }
    for (const auto& child : snapshot.subkeys)
        ok = ok && Write(key, child.first, child.second, view);
    RegCloseKey(key);
    return ok;
}

} // namespace

KeySnapshot TakeSnapshot(const std::wstring& path, REGSAM view)
{
    KeySnapshot snapshot;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return snapshot;
    Fill(key, snapshot);
    RegCloseKey(key);
    return snapshot;
}

std::wstring FirstDifference(const KeySnapshot& expected, const KeySnapshot& actual)
{
    return Difference(L"", expected, actual);
}

size_t CountKeys(const KeySnapshot& snapshot)
{
    size_t count = snapshot.exists ? 1 : 0;
    for (const auto& child : snapshot.subkeys)
        count += CountKeys(child.second);
    return count;
}

size_t CountValues(const KeySnapshot& snapshot)
{
    size_t count = snapshot.values.size();
    for (const auto& child : snapshot.subkeys)
        count += CountValues(child.second);
    return count;
}

bool WriteSnapshot(const std::wstring& path, const KeySnapshot& snapshot, REGSAM view)
{
    return Write(HKEY_LOCAL_MACHINE, path, snapshot, view);
}

bool DeleteKeyTree(const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return true;
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    HKEY parent = nullptr;
    const size_t slash = path.rfind(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyExW(parent, leaf.c_str(), view, 0);
        RegCloseKey(parent);
    }
    HKEY probe = nullptr;
    const bool gone = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &probe) != ERROR_SUCCESS;
    if (probe)
        RegCloseKey(probe);
    return gone;
}

} // namespace faults
