#pragma once
// Redirects HKEY_LOCAL_MACHINE of the test process to a scratch key, so that
// registry unit tests never touch the prefix's real HKLM. The raw helpers of
// raw_registry.h and the snapshots of registry_snapshot.h work on the scratch
// key while one is active.
#include <windows.h>

#include <string>

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

} // namespace testing_support
