#include "registry/registry_key.h"

#include "registry/narrow_text.h"
#include "registry/raw_value.h"

static_assert(KV::kStatusOk == S_OK && KV::kStatusFalse == S_FALSE && KV::kStatusFail == E_FAIL,
              "the value model's statuses are the registry layer's");

namespace {

HKEY PredefinedKey(RootKey root)
{
    switch (root) {
    case ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case CurrentUser:
        return HKEY_CURRENT_USER;
    case LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case Users:
        return HKEY_USERS;
    default:
        return nullptr;
    }
}

// A REG_SZ value's data as Text. Units up to the first NUL within the data
// are taken; data without a NUL is taken whole.
HRESULT TextFromRegSz(const std::vector<BYTE>& data, KV::Variant& value) noexcept
{
    const std::size_t units = data.size() / sizeof(wchar_t);
    // Copied out, since the byte buffer need not be aligned for wchar_t.
    std::vector<wchar_t> wide;
    std::vector<char> narrow;
    wide.resize(units + 1);
    narrow.resize(units + 1);
    if (units > 0)
        memcpy(wide.data(), data.data(), units * sizeof(wchar_t));
    const std::size_t length = KV::BoundedLength(wide.data(), units);
    if (!KV::NarrowText(wide.data(), length, narrow.data()))
        return E_FAIL;
    return value.SetText(narrow.data()) ? S_OK : E_FAIL;
}

} // namespace

RegistryKey::RegistryKey(RootKey root, const std::wstring& path, bool view64) noexcept : m_root(root), m_view64(view64)
{
    m_path = path;
}

RegistryKey::RegistryKey(RootKey root, const wchar_t* path, bool view64) noexcept : m_root(root), m_view64(view64)
{
    m_path = path ? path : L"";
}

HRESULT RegistryKey::Open(bool readOnly) noexcept
{
    if (m_handle)
        return S_FALSE;
    HKEY rootKey = PredefinedKey(m_root);
    if (rootKey == nullptr)
        return E_FAIL;
    const REGSAM view = m_view64 ? kView64Flag : 0;
    const LONG status = m_handle.receive([&](HKEY* slot) {
        if (readOnly)
            return RegOpenKeyExW(rootKey, m_path.c_str(), 0, kReadAccess | view, slot);
        return RegCreateKeyExW(rootKey, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kFullAccess | view,
                               nullptr, slot, nullptr);
    });
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

namespace {

// Opens base\name with `access`, a link at the last part of `name` as itself.
// A missing key is created (when `create`) as an ordinary key; RegCreateKeyExW
// follows links, so a key that someone else made between the two calls is
// opened again as itself instead of through what it may link to.
LONG OpenUnfollowed(HKEY base, const std::wstring& name, REGSAM access, bool create, UniqueHkey& key) noexcept
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        LONG status = key.receive(
            [&](HKEY* slot) { return RegOpenKeyExW(base, name.c_str(), REG_OPTION_OPEN_LINK, access, slot); });
        if (status != ERROR_FILE_NOT_FOUND || !create)
            return status;
        DWORD disposition = 0;
        status = key.receive([&](HKEY* slot) {
            return RegCreateKeyExW(base, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, slot,
                                   &disposition);
        });
        if (status != ERROR_SUCCESS)
            return status;
        if (disposition == REG_CREATED_NEW_KEY)
            return ERROR_SUCCESS;
        key.reset();
    }
    return ERROR_ACCESS_DENIED;
}

} // namespace

HRESULT RegistryKey::OpenUnfollowedFrom(HKEY base, const std::wstring& name, bool readOnly) noexcept
{
    if (m_handle)
        return S_FALSE;
    if (base == nullptr)
        return E_FAIL;
    const REGSAM access = (readOnly ? kReadAccess : kFullAccess) | (m_view64 ? kView64Flag : 0);
    return OpenUnfollowed(base, name, access, !readOnly, m_handle) == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT RegistryKey::OpenLinkItself(bool readOnly) noexcept
{
    return OpenUnfollowedFrom(PredefinedKey(m_root), m_path, readOnly);
}

HRESULT RegistryKey::OpenBelow(const RegistryKey& parent, bool readOnly) noexcept
{
    if (m_handle)
        return S_FALSE;
    if (!parent.m_handle || parent.m_root != m_root || parent.m_view64 != m_view64)
        return E_FAIL;
    const std::size_t prefix = parent.m_path.empty() ? 0 : parent.m_path.size() + 1;
    if (m_path.size() <= prefix || m_path.compare(0, parent.m_path.size(), parent.m_path) != 0 ||
        (prefix > 0 && m_path[prefix - 1] != L'\\') || m_path.find(L'\\', prefix) != std::wstring::npos)
        return E_FAIL;
    return OpenUnfollowedFrom(parent.m_handle.get(), m_path.substr(prefix), readOnly);
}

bool RegistryKey::IsLink() const noexcept
{
    if (!m_handle)
        return false;
    DWORD type = REG_NONE;
    return RegQueryValueExW(m_handle.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

void RegistryKey::Close() noexcept
{
    m_handle.reset();
}

HRESULT RegistryKey::ReadValue(const std::wstring& name, KV::Variant& value) noexcept
{
    value.Clear();
    if (!m_handle)
        return E_FAIL;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (registry_detail::QueryRawValue(m_handle.get(), name.c_str(), &type, data) != ERROR_SUCCESS)
        return E_FAIL;
    if (type == REG_SZ)
        return TextFromRegSz(data, value);
    // Data that is not a value record leaves the value Empty: still a success.
    if (value.Deserialize(data.data(), static_cast<std::uint32_t>(data.size())) == KV::kStatusOutOfMemory)
        return E_FAIL;
    return S_OK;
}

HRESULT RegistryKey::WriteValue(const std::wstring& name, const KV::Variant& value) noexcept
{
    if (!m_handle)
        return E_FAIL;
    if (value.GetType() == KV::Variant::Text) {
        const char* text = value.GetText();
        const std::size_t length = text ? KV::BoundedLength(text, value.GetSize()) : 0;
        std::vector<wchar_t> wide;
        wide.resize(length + 1);
        KV::WidenText(text, length, wide.data());
        const DWORD bytes = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
        const LONG status =
            RegSetValueExW(m_handle.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.data()), bytes);
        return status == ERROR_SUCCESS ? S_OK : E_FAIL;
    }
    std::uint32_t payload = 0;
    value.GetBytes(&payload);
    if (payload > 0x7FFFFFFFu - KV::kRecordHeaderSize)
        return E_FAIL;
    std::vector<BYTE> record;
    record.resize(payload + KV::kRecordHeaderSize);
    const std::int32_t length = value.Serialize(record.data(), static_cast<std::uint32_t>(record.size()));
    if (length < 0)
        return E_FAIL;
    const LONG status =
        RegSetValueExW(m_handle.get(), name.c_str(), 0, REG_BINARY, record.data(), static_cast<DWORD>(length));
    return status == ERROR_SUCCESS ? length : E_FAIL;
}

bool KeyExists(const std::wstring& path, bool view64) noexcept
{
    RegistryKey key(LocalMachine, path, view64);
    return key.Open(true) >= 0;
}
