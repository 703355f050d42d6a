#pragma once
// Exact pictures of registry key trees, taken and written with the raw
// registry API (tests/support/raw_registry.h), never the launcher's registry
// layer: every key, every value's type and every data byte, read with exactly
// the size the registry reports. Equal snapshots mean equal trees, so a test
// can show that a tree came out of a run byte for byte as it went in, and a
// terminator lost or gained by a copy shows as a difference in size.
//
// The text form is what the stand-in program (tests/fixtures/standin) writes,
// UTF-8 encoded, to its STANDIN_SNAPSHOT file: one line per key and per
// value, in name order, each key before its values and its subkeys:
//   K\t<key path below the root>\r\n
//   V\t<key path>\t<value name>\t<type, decimal>\t<data, upper-case hex>\r\n
// The root is the empty path; a snapshot of a missing key is the empty text.
#include <windows.h>

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>

#include "tests/support/raw_registry.h"

namespace testing_support {

struct ValueSnapshot {
    DWORD type = 0;
    Bytes bytes;
    bool operator==(const ValueSnapshot& other) const { return type == other.type && bytes == other.bytes; }
    bool operator!=(const ValueSnapshot& other) const { return !(*this == other); }
};

// A REG_SZ value holding `text` and its terminating NUL.
ValueSnapshot TextValue(const std::wstring& text);

// One key: its values by exact name (the default value under the empty name)
// and its subkeys, recursively. `exists` is false for a key that could not be
// opened for reading (its values and subkeys are then empty).
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

// An existing key without values or subkeys.
KeySnapshot EmptyKey();

// Snapshot of HKLM\path in `view` (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY);
// subkeys are opened in the same view. `exists` is false when the key cannot
// be opened for reading.
KeySnapshot TakeSnapshot(const std::wstring& path, REGSAM view = 0);

// Creates HKLM\path and writes `snapshot` below it exactly (WriteValueExact),
// keys that exist in the snapshot only; what the key held before stays unless
// overwritten. False on the first failure.
bool WriteSnapshot(const std::wstring& path, const KeySnapshot& snapshot, REGSAM view = 0);

// The first difference between two snapshots as readable text, "" when they
// are equal: the key path below the root (names cut to 40 characters) and
// what differs.
std::wstring FirstDifference(const KeySnapshot& expected, const KeySnapshot& actual);

// Number of existing keys (the root counts as one) and of values.
std::size_t CountKeys(const KeySnapshot& snapshot);
std::size_t CountValues(const KeySnapshot& snapshot);

// The text form described above, and back. ParseSnapshot ignores lines it
// does not understand; ParseSnapshot(FormatSnapshot(s)) == s for every
// snapshot whose names hold no tab, CR or LF.
std::wstring FormatSnapshot(const KeySnapshot& snapshot);
KeySnapshot ParseSnapshot(const std::wstring& text);

// GoogleTest prints snapshots in their text form (UTF-8).
void PrintTo(const KeySnapshot& snapshot, std::ostream* os);
void PrintTo(const ValueSnapshot& value, std::ostream* os);

} // namespace testing_support
