#pragma once
// Copy of whole key trees. Listing and deletion are members of RegistryKey
// (registry_key.h) and live in registry_tree.cpp.
#include <windows.h>

#include <string>

#include "registry/registry_key.h"

// Copies every subkey of source, recursively, then every value of source into
// destination; both must be open (E_FAIL otherwise). A key's subtree is copied
// before its own values. Each value arrives with its registry type and data
// bytes exactly as stored, whatever they are. Subkeys are opened, and created
// when missing, with full access in the view of their parent. Nothing in the
// destination is deleted: same-named values are replaced, others stay.
// Best effort: the copy goes on past every failure and returns E_FAIL when any
// subkey or value could not be copied (a partial copy stays), else S_OK. When
// the source's values cannot be listed, its subkeys are still copied and none
// of its values.
HRESULT CopyTree(RegistryKey& source, RegistryKey& destination) noexcept;

// Opens or creates HKEY_LOCAL_MACHINE\destinationPath in the default view
// (whatever the source's view) and copies source into it with CopyTree.
// Returns CopyTree's result (E_FAIL when the destination could not be opened).
HRESULT CopyTreeTo(RegistryKey& source, const std::wstring& destinationPath) noexcept;

// Test seam: stand-ins for answers that this machine cannot give for real
// (a WOW64 process, a system whose AdvAPI32.dll lacks RegDeleteKeyExW, a key
// whose values cannot be listed). The product never installs one.
struct RegistryTreeSeam {
    using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    // -1: ask the system; 0: not under WOW64; 1: under WOW64.
    int wow64 = -1;
    // Behave as if AdvAPI32.dll had no RegDeleteKeyExW.
    bool hideDeleteKeyEx = false;
    // Called in place of the looked-up RegDeleteKeyExW when set.
    DeleteKeyExFn deleteKeyEx = nullptr;
    // When it returns true for a key, that key's value listing fails.
    bool (*failValueListing)(const RegistryKey& key) = nullptr;
};
// Installs a seam (null removes it). The caller keeps it alive while set.
void SetRegistryTreeSeam(const RegistryTreeSeam* seam) noexcept;
