#include "tests/support/raw_registry.h"

#include <cstring>

#include "framework/unique_handle.h"

namespace testing_support {

namespace {

UniqueHkey OpenKey(const std::wstring& path, REGSAM access, REGSAM view)
{
    UniqueHkey key;
    key.receive([&](HKEY* slot) { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | view, slot); });
    return key;
}

UniqueHkey CreateKey(const std::wstring& path, REGSAM view)
{
    UniqueHkey key;
    key.receive([&](HKEY* slot) {
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, slot,
                               nullptr);
    });
    return key;
}

std::vector<std::wstring> ListNames(const std::wstring& path, REGSAM view, bool values)
{
    std::vector<std::wstring> names;
    const UniqueHkey key = OpenKey(path, KEY_READ, view);
    if (!key)
        return names;
    std::vector<wchar_t> buffer(32768); // longer than any key or value name
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG status =
            values ? RegEnumValueW(key.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExW(key.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(buffer.data(), length);
    }
    return names;
}

} // namespace

bool KeyPresent(const std::wstring& path, REGSAM view)
{
    return OpenKey(path, KEY_READ, view).valid();
}

bool CreateKeyRaw(const std::wstring& path, REGSAM view)
{
    return CreateKey(path, view).valid();
}

LONG WriteValueExact(HKEY key, const std::wstring& name, DWORD type, const Bytes& data)
{
    Bytes guarded = data;
    guarded.insert(guarded.end(), {'X', 0, 'X', 0, 0, 0});
    return RegSetValueExW(key, name.c_str(), 0, type, guarded.data(), static_cast<DWORD>(data.size()));
}

bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const Bytes& data, REGSAM view)
{
    const UniqueHkey key = CreateKey(path, view);
    return key && WriteValueExact(key.get(), name, type, data) == ERROR_SUCCESS;
}

bool SetTextRaw(const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return SetValueRaw(path, name, REG_SZ, Bytes(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)), view);
}

LONG ReadValueExact(HKEY key, const std::wstring& name, DWORD& type, Bytes& data)
{
    for (;;) {
        DWORD size = 0;
        LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            data.clear();
            return status;
        }
        data.resize(size);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, size ? data.data() : nullptr, &size);
        if (status == ERROR_MORE_DATA)
            continue; // another writer made it longer in between
        if (status != ERROR_SUCCESS) {
            data.clear();
            return status;
        }
        data.resize(size);
        return ERROR_SUCCESS;
    }
}

RawValue GetValueRaw(const std::wstring& path, const std::wstring& name, REGSAM view)
{
    RawValue value;
    const UniqueHkey key = OpenKey(path, KEY_READ, view);
    if (key)
        value.present = ReadValueExact(key.get(), name, value.type, value.data) == ERROR_SUCCESS;
    if (!value.present)
        value.type = 0;
    return value;
}

std::wstring GetTextRaw(const std::wstring& path, const std::wstring& name, REGSAM view)
{
    const RawValue value = GetValueRaw(path, name, view);
    if (!value.present || value.type != REG_SZ)
        return L"";
    std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        memcpy(&text[0], value.data.data(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::vector<std::wstring> SubkeyNamesRaw(const std::wstring& path, REGSAM view)
{
    return ListNames(path, view, false);
}

std::vector<std::wstring> ValueNamesRaw(const std::wstring& path, REGSAM view)
{
    return ListNames(path, view, true);
}

bool DeleteKeyTree(const std::wstring& path, REGSAM view)
{
    {
        const UniqueHkey key = OpenKey(path, KEY_ALL_ACCESS, view);
        if (!key)
            return !KeyPresent(path, view);
        RegDeleteTreeW(key.get(), nullptr); // the subkeys and values, not the key itself
    }
    const size_t slash = path.rfind(L'\\');
    const std::wstring parentPath = slash == std::wstring::npos ? L"" : path.substr(0, slash);
    const std::wstring leaf = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const UniqueHkey parent = OpenKey(parentPath, KEY_ALL_ACCESS, view);
    if (parent)
        RegDeleteKeyExW(parent.get(), leaf.c_str(), view, 0);
    return !KeyPresent(path, view);
}

namespace {

// The full registry path ("\REGISTRY\...") of the open key `key`, from
// NtQueryKey (KeyNameInformation) in ntdll; empty on failure.
std::wstring FullKeyName(HKEY key)
{
    using NtQueryKeyFn = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const int kKeyNameInformation = 3;
    FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    if (proc == nullptr)
        return L"";
    std::vector<BYTE> buffer(4096);
    ULONG size = 0;
    if (reinterpret_cast<NtQueryKeyFn>(reinterpret_cast<void*>(proc))(key, kKeyNameInformation, buffer.data(),
                                                                      static_cast<ULONG>(buffer.size()), &size) < 0)
        return L"";
    ULONG bytes = 0;
    memcpy(&bytes, buffer.data(), sizeof(bytes));
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(bytes)), bytes / sizeof(wchar_t));
}

} // namespace

bool CreateLinkRaw(const std::wstring& path, const std::wstring& target)
{
    const UniqueHkey targetKey = OpenKey(target, KEY_READ, 0);
    const std::wstring name = targetKey ? FullKeyName(targetKey.get()) : L"";
    UniqueHkey link;
    if (name.empty() || link.receive([&](HKEY* slot) {
            return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                   KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, slot, nullptr);
        }) != ERROR_SUCCESS)
        return false;
    // The target's name without a terminator, as links hold it.
    return RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(name.data()),
                          static_cast<DWORD>(name.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool DeleteLinkRaw(const std::wstring& path)
{
    using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
    const auto openLink = [&](REGSAM access, UniqueHkey& link) {
        return link.receive([&](HKEY* slot) {
            return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, access, slot);
        });
    };
    UniqueHkey link;
    if (openLink(DELETE | KEY_QUERY_VALUE, link) == ERROR_SUCCESS) {
        FARPROC proc = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey");
        if (proc)
            reinterpret_cast<NtDeleteKeyFn>(reinterpret_cast<void*>(proc))(link.get());
    }
    UniqueHkey left;
    return openLink(KEY_READ, left) != ERROR_SUCCESS;
}

} // namespace testing_support
