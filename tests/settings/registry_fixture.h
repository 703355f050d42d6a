#pragma once
// Registry fixtures for the settings tests: raw writes that arrange a machine
// and snapshots of key trees that compare the registry byte for byte. They use
// the platform API directly, never the code under test. Unit tests run on the
// scratch HKEY_LOCAL_MACHINE of tests/support/scratch_registry.h.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/scratch_registry.h"

namespace settings_test {

using testing_support::ScratchRegistry;

// Deletes HKLM\Software\ZARO (the real one) when it goes away, for tests that
// must use the real HKLM because other processes take part.
class ZaroKeyCleanup {
  public:
    ZaroKeyCleanup();
    ~ZaroKeyCleanup();
    ZaroKeyCleanup(const ZaroKeyCleanup&) = delete;
    ZaroKeyCleanup& operator=(const ZaroKeyCleanup&) = delete;
};

// Raw writes below HKLM (default view); keys are created as needed.
bool SetRaw(const std::wstring& keyPath, const std::wstring& name, DWORD type, const std::vector<std::uint8_t>& data);
bool SetText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text);
bool CreateKey(const std::wstring& keyPath);
bool KeyPresent(const std::wstring& keyPath);
// Deletes HKLM\keyPath with everything below it; true when it is gone.
bool DeleteKeyTree(const std::wstring& keyPath);

struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};
RawValue GetRaw(const std::wstring& keyPath, const std::wstring& name);

// A key tree as lines: "K\t<relative key path>" for every key (the root is the
// empty path) and "V\t<relative key path>\t<value name>" -> "<type>\t<hex
// data>" for every value. Equal snapshots mean equal trees, types and bytes.
using TreeSnapshot = std::map<std::wstring, std::wstring>;
// The tree below HKLM\keyPath; empty when the key does not exist.
TreeSnapshot SnapshotTree(const std::wstring& keyPath);
// The lines of a stand-in snapshot file (STANDIN_SNAPSHOT), same form.
TreeSnapshot ReadSnapshotFile(const std::wstring& file);
// The part of `tree` below `prefix` (a relative key path), re-rooted there.
TreeSnapshot Subtree(const TreeSnapshot& tree, const std::wstring& prefix);

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values);
std::wstring Hex(const std::vector<std::uint8_t>& data);

} // namespace settings_test
