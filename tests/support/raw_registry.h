#pragma once
// Raw registry access below HKEY_LOCAL_MACHINE for the tests: arranging a
// machine and reading back what the code under test did, with the platform API
// only (never the launcher's registry layer). In a process with an active
// ScratchRegistry, HKEY_LOCAL_MACHINE is the scratch key.
//
// `view` is 0 (the process's default view), KEY_WOW64_64KEY or KEY_WOW64_32KEY.
// Paths are relative to HKEY_LOCAL_MACHINE; sizes are in bytes.
//
// This file and registry_snapshot.cpp use nothing but the platform API, so
// that the stand-in program (tests/fixtures/standin) compiles them too.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// True when HKLM\path can be opened for reading.
bool KeyPresent(const std::wstring& path, REGSAM view = 0);

// Creates HKLM\path and its missing parents; true when it exists afterwards.
bool CreateKeyRaw(const std::wstring& path, REGSAM view = 0);

// Stores exactly `data` as the value `name` (the default value for "") of the
// open key `key`: type and bytes as given, nothing added, nothing lost.
// RegSetValueExW counts one more character for string data whose last
// character is not NUL when a NUL follows the data in memory (Windows and Wine
// alike), so the data is written from a copy with a non-NUL guard after it.
// Returns the RegSetValueExW result.
LONG WriteValueExact(HKEY key, const std::wstring& name, DWORD type, const Bytes& data);

// Creates HKLM\path as needed and stores `data` as with WriteValueExact.
// False when the key cannot be created or the value not written.
bool SetValueRaw(const std::wstring& path, const std::wstring& name, DWORD type, const Bytes& data, REGSAM view = 0);
// The same for REG_SZ data: `text` and its terminating NUL.
bool SetTextRaw(const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view = 0);

// Reads the value `name` of the open key `key` with a buffer of exactly the
// size the registry reports, so the bytes are the stored ones: Wine writes a
// terminator into any room a buffer has after unterminated string data (it
// reports the stored size all the same). ERROR_SUCCESS with `type` and `data`
// set, or the registry's failure code with `data` empty.
LONG ReadValueExact(HKEY key, const std::wstring& name, DWORD& type, Bytes& data);

// One value as the registry stores it; `present` is false (type 0, no data)
// when the key or the value is missing.
struct RawValue {
    bool present = false;
    DWORD type = 0;
    Bytes data;
};
RawValue GetValueRaw(const std::wstring& path, const std::wstring& name, REGSAM view = 0);

// A REG_SZ value's text up to its first NUL (the whole data when it has
// none); empty when the key or the value is missing or of another type.
std::wstring GetTextRaw(const std::wstring& path, const std::wstring& name, REGSAM view = 0);

// Names of the direct subkeys, or of the values, of HKLM\path, in the
// registry's order; empty when the key cannot be opened.
std::vector<std::wstring> SubkeyNamesRaw(const std::wstring& path, REGSAM view = 0);
std::vector<std::wstring> ValueNamesRaw(const std::wstring& path, REGSAM view = 0);

// Deletes HKLM\path with everything below it; true when it is gone
// afterwards (also when it was never there). It follows registry links below
// `path`: delete those first with DeleteLinkRaw.
bool DeleteKeyTree(const std::wstring& path, REGSAM view = 0);

// Makes HKLM\path a registry link (REG_OPTION_CREATE_LINK) to the existing
// key HKLM\target, which the link names by its full registry path
// ("\REGISTRY\...", as a link's "SymbolicLinkValue" must); missing parents
// of `path` are created. True when the link is made.
bool CreateLinkRaw(const std::wstring& path, const std::wstring& target);

// Deletes the link HKLM\path itself (NtDeleteKey on the link opened with
// REG_OPTION_OPEN_LINK), never what it names; true when nothing is at `path`
// afterwards.
bool DeleteLinkRaw(const std::wstring& path);

} // namespace testing_support
