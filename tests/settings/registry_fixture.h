#pragma once
// The settings tests' cleanup of the real HKEY_LOCAL_MACHINE.
#include "tests/support/raw_registry.h"

namespace settings_test {

// Deletes HKLM\Software\ZARO (the real one) when it goes away, for tests that
// must use the real HKLM because other processes take part.
class ZaroKeyCleanup {
  public:
    ZaroKeyCleanup() { testing_support::DeleteKeyTree(L"Software\\ZARO"); }
    ~ZaroKeyCleanup() { testing_support::DeleteKeyTree(L"Software\\ZARO"); }
    ZaroKeyCleanup(const ZaroKeyCleanup&) = delete;
    ZaroKeyCleanup& operator=(const ZaroKeyCleanup&) = delete;
};

} // namespace settings_test
