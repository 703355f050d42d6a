#pragma once
// Exact pictures of registry key trees, taken with the raw registry API (not
// the launcher's registry layer), so that a test can show that a tree came
// out of a run byte for byte as it went in.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace faults {

struct ValueSnapshot {
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const ValueSnapshot& other) const { return type == other.type && bytes == other.bytes; }
};

// One key: its values by exact name (the default value under the empty name)
// and its subkeys, recursively.
struct KeySnapshot {
    bool exists = false;
    std::map<std::wstring, ValueSnapshot> values;
    std::map<std::wstring, KeySnapshot> subkeys;
    bool operator==(const KeySnapshot& other) const
    {
        return exists == other.exists && values == other.values && subkeys == other.subkeys;
    }
    bool operator!=(const KeySnapshot& other) const { return !(*this == other); }
};

// Snapshot of HKLM\path in the view `view` (0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY); `exists` is false when the key cannot be opened for
// reading. Reads every value with a buffer of the size the key reports, so
// values without a terminator come back exactly as stored.
KeySnapshot TakeSnapshot(const std::wstring& path, REGSAM view = 0);

// The first difference between two snapshots as readable text ("" when they
// are equal): the path below the root, and what differs.
std::wstring FirstDifference(const KeySnapshot& expected, const KeySnapshot& actual);

// Number of keys and values in a snapshot (the root counts as one key).
size_t CountKeys(const KeySnapshot& snapshot);
size_t CountValues(const KeySnapshot& snapshot);

// Writes `snapshot` below HKLM\path (creating the keys); false on the first
// failure.
bool WriteSnapshot(const std::wstring& path, const KeySnapshot& snapshot, REGSAM view = 0);

// Deletes HKLM\path with everything below it; true when it is gone.
bool DeleteKeyTree(const std::wstring& path, REGSAM view = 0);

} // namespace faults
