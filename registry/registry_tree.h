#pragma once
// Copy of whole key trees. Listing and deletion are members of RegistryKey
// (registry_key.h) and live in registry_tree.cpp.
#include <windows.h>

#include <string>

#include "framework/test_seam.h"
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

// Test seams (framework/test_seam.h): stand-ins for answers that this
// machine cannot give for real (a WOW64 process, a system whose AdvAPI32.dll
// lacks RegDeleteKeyExW, a key whose values cannot be listed).
//
// Whether this process runs under WOW64. Real: QueryWow64
// (framework/wow64_query.h); a failed query counts as "not under WOW64", so
// the plain delete is used.
using Wow64Question = bool (*)();
extern Seam<Wow64Question> g_registryWow64Seam;
// RegDeleteKeyExW as AdvAPI32.dll exports it, null where it has none. Real:
// looked up at run time (Windows XP's 32-bit AdvAPI32 lacks it).
using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
using DeleteKeyExLookup = DeleteKeyExFn (*)();
extern Seam<DeleteKeyExLookup> g_deleteKeyExSeam;
// True when the listing of `key`'s values fails before it starts. Real:
// never (false).
using ValueListingRefusal = bool (*)(const RegistryKey& key);
extern Seam<ValueListingRefusal> g_valueListingRefusalSeam;
