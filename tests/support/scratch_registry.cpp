#include "tests/support/scratch_registry.h"
#include "tests/support/test_support.h"

#include <rpc.h>

namespace testing_support {

namespace {

const wchar_t kTestsParent[] = L"Software\\OrbelleTests";

} // namespace

ScratchRegistry::ScratchRegistry()
{
    m_path = std::wstring(kTestsParent) + L"\\" + NewUuidText();
    HKEY scratch = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch, nullptr) !=
        ERROR_SUCCESS)
        return;
    m_ok = RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch) == ERROR_SUCCESS;
    RegCloseKey(scratch); // the override keeps its own reference
}

ScratchRegistry::~ScratchRegistry()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestsParent); // fails while other runs use it
}

bool KeyPresent(const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool CreateKeyRaw(const std::wstring& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<std::uint8_t>& data)
{
    return SetValueRaw(path, name, type, data.data(), static_cast<DWORD>(data.size()));
}

bool GetValueRaw(const std::wstring& path, const std::wstring& name, DWORD& type, std::vector<std::uint8_t>& data)
{
    data.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.resize(size + 1);
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

namespace {

std::vector<std::wstring> ListNames(const std::wstring& path, bool values)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    std::vector<wchar_t> buffer(32768);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const LONG status = values
                                ? RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                                : RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(buffer.data(), length);
    }
    RegCloseKey(key);
    return names;
}

} // namespace

std::vector<std::wstring> SubkeyNamesRaw(const std::wstring& path)
{
    return ListNames(path, false);
}

std::vector<std::wstring> ValueNamesRaw(const std::wstring& path)
{
    return ListNames(path, true);
}

} // namespace testing_support
