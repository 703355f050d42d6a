#include "tests/settings/registry_fixture.h"

#include "tests/support/test_support.h"

namespace settings_test {

namespace {

void SnapshotKey(HKEY key, const std::wstring& path, TreeSnapshot& out)
{
    out[L"K\t" + path] = L"";
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxValueName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(maxValueName + 2);
    std::vector<std::uint8_t> data(maxData + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            continue;
        out[L"V\t" + path + L"\t" + std::wstring(name.data(), nameLength)] =
            std::to_wstring(type) + L"\t" + Hex(std::vector<std::uint8_t>(data.begin(), data.begin() + dataSize));
    }
    std::vector<wchar_t> child(maxSubkey + 2);
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD childLength = static_cast<DWORD>(child.size());
        if (RegEnumKeyExW(key, i, child.data(), &childLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        const std::wstring childName(child.data(), childLength);
        HKEY childKey = nullptr;
        if (RegOpenKeyExW(key, childName.c_str(), 0, KEY_READ, &childKey) != ERROR_SUCCESS)
            continue;
        SnapshotKey(childKey, path.empty() ? childName : path + L"\\" + childName, out);
        RegCloseKey(childKey);
    }
}

} // namespace

ZaroKeyCleanup::ZaroKeyCleanup()
{
    DeleteKeyTree(L"Software\\ZARO");
}

ZaroKeyCleanup::~ZaroKeyCleanup()
{
    DeleteKeyTree(L"Software\\ZARO");
}

bool SetRaw(const std::wstring& keyPath, const std::wstring& name, DWORD type, const std::vector<std::uint8_t>& data)
{
    return testing_support::SetValueRaw(keyPath, name, type, data);
}

bool SetText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return SetRaw(keyPath, name, REG_SZ, std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)));
}

bool CreateKey(const std::wstring& keyPath)
{
    return testing_support::CreateKeyRaw(keyPath);
}

bool KeyPresent(const std::wstring& keyPath)
{
    return testing_support::KeyPresent(keyPath);
}

bool DeleteKeyTree(const std::wstring& keyPath)
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, keyPath.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str());
    return !KeyPresent(keyPath);
}

RawValue GetRaw(const std::wstring& keyPath, const std::wstring& name)
{
    RawValue value;
    value.present = testing_support::GetValueRaw(keyPath, name, value.type, value.data);
    return value;
}

TreeSnapshot SnapshotTree(const std::wstring& keyPath)
{
    TreeSnapshot out;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    SnapshotKey(key, L"", out);
    RegCloseKey(key);
    return out;
}

TreeSnapshot ReadSnapshotFile(const std::wstring& file)
{
    TreeSnapshot out;
    std::vector<std::uint8_t> bytes;
    if (!testing_support::ReadFileBytes(file, bytes))
        return out;
    const std::wstring text = testing_support::Utf8ToWide(std::string(bytes.begin(), bytes.end()));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(start, end - start);
        start = end + 2;
        if (line.rfind(L"K\t", 0) == 0) {
            out[line] = L"";
        } else if (line.rfind(L"V\t", 0) == 0) {
            // "V\t<path>\t<name>\t<type>\t<hex>": the last two fields are the content.
            const std::size_t hexTab = line.rfind(L'\t');
            const std::size_t typeTab = hexTab == std::wstring::npos ? hexTab : line.rfind(L'\t', hexTab - 1);
            if (typeTab != std::wstring::npos)
                out[line.substr(0, typeTab)] = line.substr(typeTab + 1);
        }
    }
    return out;
}

TreeSnapshot Subtree(const TreeSnapshot& tree, const std::wstring& prefix)
{
    TreeSnapshot out;
    for (const auto& entry : tree) {
        const std::wstring kind = entry.first.substr(0, 2);
        const std::wstring rest = entry.first.substr(2);
        std::wstring relative;
        if (rest == prefix || rest.rfind(prefix + L"\t", 0) == 0)
            relative = rest.substr(prefix.size());
        else if (rest.rfind(prefix + L"\\", 0) == 0)
            relative = rest.substr(prefix.size() + 1);
        else
            continue;
        out[kind + relative] = entry.second;
    }
    return out;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::wstring Hex(const std::vector<std::uint8_t>& data)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (std::uint8_t b : data) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    }
    return text;
}

} // namespace settings_test
