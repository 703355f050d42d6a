#pragma once
// A registry key named by a root, a path below it and a registry-view flag,
// owning its open handle.
//
// Statuses: S_OK (0), S_FALSE (1) or E_FAIL; callers test only the sign. The
// platform's error code is not kept. Nothing here throws, shows or logs; memory
// that cannot be had for a name or a buffer ends the process (the project's
// one out-of-memory rule, see framework/lean_runtime.cpp).
#include <windows.h>

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "registry/variant.h"

// Which predefined key a path is relative to. Any other code makes every
// Open fail.
enum RootKey : LONG {
    ClassesRoot = 0,  // HKEY_CLASSES_ROOT
    CurrentUser = 1,  // HKEY_CURRENT_USER
    LocalMachine = 2, // HKEY_LOCAL_MACHINE
    Users = 3,        // HKEY_USERS
};

// Names of subkeys or values, in the platform's enumeration order.
using NameList = std::vector<std::wstring>;

class RegistryKey {
  public:
    // Access masks. With view64 every mask also carries KEY_WOW64_64KEY;
    // without it no view flag is passed, so the process's default view is
    // used. KEY_WOW64_32KEY is never used.
    static constexpr REGSAM kReadAccess = KEY_READ;        // 0x20019
    static constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;  // 0xF003F
    static constexpr REGSAM kView64Flag = KEY_WOW64_64KEY; // 0x100

    // A closed handle for root\path in the chosen view.
    RegistryKey(RootKey root, const std::wstring& path, bool view64) noexcept;
    RegistryKey(RootKey root, const wchar_t* path, bool view64) noexcept;
    ~RegistryKey() = default; // the handle owner closes an open key
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // readOnly: opens an existing key with the read mask; a missing key gives
    // E_FAIL and nothing is created. Otherwise opens the key with full access,
    // creating it and every missing parent. S_OK when opened, E_FAIL when not
    // (the handle stays closed). An open handle is left as it is and S_FALSE
    // returned, whatever access is asked for now.
    HRESULT Open(bool readOnly) noexcept;
    // As Open, but a registry link at the key's own name (the last part of
    // its path) is opened as itself (REG_OPTION_OPEN_LINK), never followed;
    // IsLink() then says so. Links at the parts above are followed, as by
    // Open. A key that is missing is created (unless readOnly) as an ordinary
    // key; one that appears as it is being created is opened again as itself.
    HRESULT OpenLinkItself(bool readOnly) noexcept;
    // As OpenLinkItself, but relative to the open key `parent`, of which this
    // key must be a direct subkey (its path is parent's path, "\" and one
    // name; same root and view): nothing above this key is looked up by name
    // again, so a walk that opens each key below one it opened this way never
    // follows a link anywhere. E_FAIL when `parent` is closed or this key is
    // not its direct subkey.
    HRESULT OpenBelow(const RegistryKey& parent, bool readOnly) noexcept;
    // True when the open key is a registry link opened as itself: it holds the
    // value "SymbolicLinkValue" of type REG_LINK that names the link's
    // target. False for a closed key and for every ordinary key.
    bool IsLink() const noexcept;
    // Closes the handle if it is open.
    void Close() noexcept;
    bool IsOpen() const noexcept { return static_cast<bool>(m_handle); }

    // Clears `value`, then reads the value `name` (empty: the default value):
    //   REG_SZ: the text up to its first NUL becomes Text. Data without a NUL
    //     is taken whole, size 0 gives the empty Text, and an odd last byte is
    //     ignored. A code unit above U+00FF gives E_FAIL.
    //   any other type: the data is decoded as a value record; data that is
    //     not one leaves the value Empty and still gives S_OK.
    // A value that grows between the size and data queries is queried again
    // (bounded); one that keeps growing gives E_FAIL, never truncated data.
    // E_FAIL also for a closed handle, a missing value or a buffer that cannot
    // be had. On E_FAIL the value is Empty.
    HRESULT ReadValue(const std::wstring& name, KV::Variant& value) noexcept;
    // Writes `value` under `name`, replacing a value of that name whatever its
    // type was. Text becomes REG_SZ of 2 x (length + 1) bytes ending in one
    // NUL unit, and S_OK is returned. Every other kind becomes its value
    // record as REG_BINARY, and the record length (12 + payload) is returned.
    // E_FAIL for a closed handle, a value that does not serialize, a buffer
    // that cannot be had (nothing written then) or a failed write.
    HRESULT WriteValue(const std::wstring& name, const KV::Variant& value) noexcept;

    // Tree operations (registry_tree.cpp).
    //
    // Replaces `names` with the names of the key's direct subkeys. E_FAIL for
    // a closed handle, a failed key query, or a failed enumeration step (the
    // names gathered so far stay). Names of every valid length are listed.
    HRESULT EnumSubkeys(NameList& names) noexcept;
    // Replaces `names` with the names of the key's values; the set default
    // value is listed as the empty name. E_FAIL as for EnumSubkeys; after a
    // failed step the list has one entry per value, the unread ones empty.
    HRESULT EnumValues(NameList& names) noexcept;
    // Deletes the direct subkey `subkeyName` and everything below it, deepest
    // keys first. A missing subkey is created and deleted again (S_OK). When
    // anything below cannot be removed, the subkey and the rest stay and
    // E_FAIL is returned. Under WOW64 the key is removed in this key's view
    // through RegDeleteKeyExW (looked up at run time); E_FAIL when it is
    // missing. E_FAIL for a closed handle.
    // Registry links are never followed: the subkey and every key below it
    // are opened as themselves (OpenBelow), and one that is a link is deleted
    // as the link (DeleteLinkItself), leaving what it names untouched. Keys
    // more than kMaxTreeDepth levels below this key are not reached: the
    // delete then fails as for any key that cannot be removed.
    HRESULT DeleteTree(const std::wstring& subkeyName) noexcept;
    // Deletes this open key, a registry link opened as itself (IsLink), as
    // the link: through its handle (NtDeleteKey, looked up in ntdll), so that
    // nothing is looked up by name and the link's target stays. S_OK, or
    // E_FAIL for a closed key, a key that is not a link, or a failed delete.
    // The handle stays open on a deleted key until Close.
    HRESULT DeleteLinkItself() noexcept;

    // The registry's own limit of nesting (512 levels): no tree walk here
    // goes deeper below the key it starts at.
    static constexpr int kMaxTreeDepth = 512;

    HKEY handle() const noexcept { return m_handle.get(); }
    RootKey root() const noexcept { return m_root; }
    const std::wstring& path() const noexcept { return m_path; }
    bool view64() const noexcept { return m_view64; }

  private:
    // Opens base\name into the handle, a link at name's last part as itself.
    HRESULT OpenUnfollowedFrom(HKEY base, const std::wstring& name, bool readOnly) noexcept;

    UniqueHkey m_handle;
    RootKey m_root;
    std::wstring m_path;
    bool m_view64;
};

// True when HKEY_LOCAL_MACHINE\path can be opened for reading in the chosen
// view. A key that exists but cannot be opened for reading counts as absent.
bool KeyExists(const std::wstring& path, bool view64) noexcept;
