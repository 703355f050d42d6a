#pragma once
// Helpers for the staging tests: environment and folder redirection that undo
// themselves, and folder listings.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace staging_fixtures {

// Sets an environment variable of this process (inherited by the children it
// starts) and restores the old value when it goes away. An empty value
// removes the variable.
class ScopedEnv {
  public:
    ScopedEnv(const wchar_t* name, const std::wstring& value) : m_name(name)
    {
        wchar_t buffer[4096] = {};
        const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
        m_had = n > 0 && n < 4096;
        if (m_had)
            m_old.assign(buffer, n);
        SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
    }
    ~ScopedEnv() { SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_had = false;
};

// Names of the entries directly inside `folder` ("." and ".." left out), sorted.
inline std::vector<std::wstring> ListNames(const std::wstring& folder)
{
    return testing_support::ListNames(folder);
}

// The common application-data folder without a trailing backslash.
inline std::wstring CommonAppData()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return buffer;
}

// <common application data>\ZARO, the top folder that extracting a package
// creates; tests remove it when they are done.
inline std::wstring MakerFolder()
{
    return CommonAppData() + L"\\ZARO";
}

inline std::wstring InstalledPackagePath()
{
    return MakerFolder() + L"\\Installers\\Orbelle\\ZaroInstaller.msi";
}

// Removes <common application data>\ZARO when it goes away.
struct MakerFolderCleanup {
    ~MakerFolderCleanup() { testing_support::RemoveTree(MakerFolder()); }
};

// True when `text` has the form of UuidToStringW's output: 8-4-4-4-12
// lowercase hexadecimal digits.
inline bool IsUuidText(const std::wstring& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != L'-')
                return false;
        } else if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace staging_fixtures
