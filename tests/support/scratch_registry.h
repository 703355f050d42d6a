#pragma once
// Redirects HKEY_LOCAL_MACHINE of the test process to a scratch key, so that
// registry tests never touch the prefix's real HKLM.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// On construction: creates HKEY_CURRENT_USER\Software\OrbelleTests\<uuid> and
// maps HKEY_LOCAL_MACHINE onto it (RegOverridePredefKey), for this process
// only. On destruction: removes the mapping and deletes the scratch key with
// everything in it (and OrbelleTests when it is empty). One at a time.
class ScratchRegistry {
  public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // True when the scratch key exists and HKLM is redirected to it.
    bool ok() const { return m_ok; }
    // The scratch key's path below HKEY_CURRENT_USER.
    const std::wstring& path() const { return m_path; }

  private:
    std::wstring m_path;
    bool m_ok = false;
};

// Raw helpers on HKEY_LOCAL_MACHINE (the scratch key while one is active),
// bypassing the registry layer. `view` is 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY.
bool KeyPresent(const std::wstring& path, REGSAM view = 0);
bool CreateKeyRaw(const std::wstring& path, REGSAM view = 0);
bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size);
bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<std::uint8_t>& data);
// Reads a value's type and bytes exactly as stored; false when it is missing.
bool GetValueRaw(const std::wstring& path, const std::wstring& name, DWORD& type, std::vector<std::uint8_t>& data);
// Names of the direct subkeys, or of the values, of HKLM\path.
std::vector<std::wstring> SubkeyNamesRaw(const std::wstring& path);
std::vector<std::wstring> ValueNamesRaw(const std::wstring& path);

} // namespace testing_support
