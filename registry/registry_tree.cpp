#include "registry/registry_tree.h"

#include <vector>

#include "framework/system_function.h"
#include "framework/wow64_query.h"
#include "registry/raw_value.h"

namespace {

// Names are fetched into buffers sized from the key's reported maximum and
// grown to this when the platform still asks for more; it holds every valid
// key name (255 units) and value name (16,383 units) with its NUL.
constexpr DWORD kLargestNameBuffer = 32768;
constexpr DWORD kSmallestNameBuffer = 256;

// parent + "\" + name; a key at the root itself has children named plainly.
bool ChildPath(const std::wstring& parent, const std::wstring& name, std::wstring& out) noexcept
{
    out = parent.empty() ? name : parent + L"\\" + name;
    return true;
}

bool SizeNameBuffer(std::vector<wchar_t>& buffer, DWORD maxLength) noexcept
{
    DWORD units = maxLength < kLargestNameBuffer ? maxLength + 1 : kLargestNameBuffer;
    if (units < kSmallestNameBuffer)
        units = kSmallestNameBuffer;
    buffer.resize(units);
    return true;
}

// Runs one enumeration step, growing the buffer once to the largest size when
// the platform reports a longer name than the key's maximum said.
template <typename Step> LONG EnumerateName(std::vector<wchar_t>& buffer, DWORD* length, Step step) noexcept
{
    for (;;) {
        *length = static_cast<DWORD>(buffer.size());
        const LONG status = step(buffer.data(), length);
        if (status != ERROR_MORE_DATA || buffer.size() >= kLargestNameBuffer)
            return status;
        if (!SizeNameBuffer(buffer, kLargestNameBuffer))
            return ERROR_NOT_ENOUGH_MEMORY;
    }
}

bool AskWow64()
{
    BOOL wow64 = FALSE;
    return QueryWow64(&wow64) && wow64 != FALSE;
}

DeleteKeyExFn LookUpDeleteKeyEx()
{
    return SystemFunction<DeleteKeyExFn>(L"advapi32.dll", "RegDeleteKeyExW");
}

bool NoRefusal(const RegistryKey&)
{
    return false;
}

// Deletes the key parent\name (which has no subkeys left). Under WOW64 the
// key's own view is named through RegDeleteKeyExW, which 32-bit Windows XP
// lacks, hence the run-time lookup. AdvAPI32 is one of the executable's own
// imports, so it is loaded already: no DLL is loaded by name here.
LONG DeleteOneKey(HKEY parent, const wchar_t* name, bool view64) noexcept
{
    if (!g_registryWow64Seam())
        return RegDeleteKeyW(parent, name);
    const DeleteKeyExFn deleteKeyEx = g_deleteKeyExSeam();
    if (deleteKeyEx == nullptr)
        return ERROR_PROC_NOT_FOUND;
    const REGSAM access = RegistryKey::kFullAccess | (view64 ? RegistryKey::kView64Flag : 0);
    return deleteKeyEx(parent, name, access, 0);
}

// Deletes `key`'s subkey `name` and everything below it; `depth` is the
// subkey's level below the key the delete started at.
HRESULT DeleteTreeAt(RegistryKey& key, const std::wstring& name, int depth) noexcept;

// Copies `source` into `destination`, both `depth` levels below where the
// copy started.
HRESULT CopyTreeAt(RegistryKey& source, RegistryKey& destination, int depth) noexcept;

} // namespace

Seam<Wow64Question> g_registryWow64Seam(&AskWow64);
Seam<DeleteKeyExLookup> g_deleteKeyExSeam(&LookUpDeleteKeyEx);
Seam<ValueListingRefusal> g_valueListingRefusalSeam(&NoRefusal);

HRESULT RegistryKey::EnumSubkeys(NameList& names) noexcept
{
    names.clear();
    if (!m_handle)
        return E_FAIL;
    DWORD count = 0;
    DWORD maxLength = 0;
    if (RegQueryInfoKeyW(m_handle.get(), nullptr, nullptr, nullptr, &count, &maxLength, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    std::vector<wchar_t> buffer;
    if (!SizeNameBuffer(buffer, maxLength))
        return E_FAIL;
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = 0;
        const LONG status = EnumerateName(buffer, &length, [&](wchar_t* name, DWORD* size) {
            FILETIME written;
            return RegEnumKeyExW(m_handle.get(), index, name, size, nullptr, nullptr, nullptr, &written);
        });
        if (status != ERROR_SUCCESS)
            return E_FAIL;
        names.emplace_back(buffer.data(), length);
    }
    return S_OK;
}

HRESULT RegistryKey::EnumValues(NameList& names) noexcept
{
    names.clear();
    if (!m_handle)
        return E_FAIL;
    if (g_valueListingRefusalSeam(*this))
        return E_FAIL;
    DWORD count = 0;
    DWORD maxLength = 0;
    if (RegQueryInfoKeyW(m_handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxLength,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    std::vector<wchar_t> buffer;
    if (!SizeNameBuffer(buffer, maxLength))
        return E_FAIL;
    names.resize(count);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = 0;
        const LONG status = EnumerateName(buffer, &length, [&](wchar_t* name, DWORD* size) {
            return RegEnumValueW(m_handle.get(), index, name, size, nullptr, nullptr, nullptr, nullptr);
        });
        if (status != ERROR_SUCCESS)
            return E_FAIL;
        names[index].assign(buffer.data(), length);
    }
    return S_OK;
}

HRESULT RegistryKey::DeleteTree(const std::wstring& subkeyName) noexcept
{
    return DeleteTreeAt(*this, subkeyName, 1);
}

HRESULT RegistryKey::DeleteLinkItself() noexcept
{
    using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
    if (!IsLink())
        return E_FAIL;
    const auto deleteKey = SystemFunction<NtDeleteKeyFn>(L"ntdll.dll", "NtDeleteKey");
    if (deleteKey == nullptr)
        return E_FAIL;
    return deleteKey(m_handle.get()) >= 0 ? S_OK : E_FAIL;
}

HRESULT CopyTree(RegistryKey& source, RegistryKey& destination) noexcept
{
    return CopyTreeAt(source, destination, 0);
}

HRESULT CopyTreeTo(RegistryKey& source, const std::wstring& destinationPath) noexcept
{
    RegistryKey destination(LocalMachine, destinationPath, false);
    // A closed destination makes CopyTree fail; a link there is never written
    // through.
    if (destination.OpenLinkItself(false) >= 0 && destination.IsLink())
        return E_FAIL;
    return CopyTree(source, destination);
}

namespace {

HRESULT DeleteTreeAt(RegistryKey& key, const std::wstring& name, int depth) noexcept
{
    if (!key.IsOpen() || depth > RegistryKey::kMaxTreeDepth)
        return E_FAIL;
    std::wstring childPath;
    if (!ChildPath(key.path(), name, childPath))
        return E_FAIL;
    RegistryKey child(key.root(), childPath, key.view64());
    if (child.OpenBelow(key, false) >= 0) {
        // A link goes as itself; what it names is not ours to delete.
        if (child.IsLink())
            return child.DeleteLinkItself();
        NameList names;
        child.EnumSubkeys(names); // whatever it gathered is deleted
        bool failed = false;
        for (const std::wstring& below : names) {
            if (DeleteTreeAt(child, below, depth + 1) != S_OK)
                failed = true;
        }
        if (failed)
            return E_FAIL;
    }
    // The child stays open until after the deletion.
    const LONG status = DeleteOneKey(key.handle(), name.c_str(), key.view64());
    child.Close();
    return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

HRESULT CopyTreeAt(RegistryKey& source, RegistryKey& destination, int depth) noexcept
{
    if (!source.IsOpen() || !destination.IsOpen())
        return E_FAIL;
    bool failed = false;
    NameList names;
    if (source.EnumSubkeys(names) < 0) {
        failed = true;
    } else {
        for (const std::wstring& name : names) {
            std::wstring sourcePath;
            std::wstring destinationPath;
            if (depth >= RegistryKey::kMaxTreeDepth || !ChildPath(source.path(), name, sourcePath) ||
                !ChildPath(destination.path(), name, destinationPath)) {
                failed = true;
                continue;
            }
            RegistryKey sourceChild(source.root(), sourcePath, source.view64());
            RegistryKey destinationChild(destination.root(), destinationPath, destination.view64());
            // A link on either side is neither followed nor made: the copy
            // would read a key from elsewhere into the backup, or write the
            // settings elsewhere. It is left out and the copy reports it.
            sourceChild.OpenBelow(source, false);
            if (sourceChild.IsLink()) {
                failed = true;
                continue;
            }
            destinationChild.OpenBelow(destination, false);
            if (destinationChild.IsLink() || CopyTreeAt(sourceChild, destinationChild, depth + 1) < 0)
                failed = true;
        }
    }
    if (source.EnumValues(names) < 0)
        return E_FAIL;
    // Raw, so that every registry type and every byte arrives unchanged.
    std::vector<BYTE> data;
    for (const std::wstring& name : names) {
        DWORD type = REG_NONE;
        if (registry_detail::QueryRawValue(source.handle(), name.c_str(), &type, data) != ERROR_SUCCESS) {
            failed = true;
            continue;
        }
        if (registry_detail::SetRawValue(destination.handle(), name.c_str(), type, data) != ERROR_SUCCESS)
            failed = true;
    }
    return failed ? E_FAIL : S_OK;
}

} // namespace
