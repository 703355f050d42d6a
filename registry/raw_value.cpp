#include "registry/raw_value.h"

namespace registry_detail {

LONG QueryRawValue(HKEY key, const wchar_t* name, DWORD* type, std::vector<BYTE>& data) noexcept
{
    data.clear();
    *type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    for (int attempt = 0; attempt < kMaxValueQueries; ++attempt) {
        // One byte at least, so that the buffer has an address to pass.
        data.resize(size > 0 ? size : 1);
        DWORD capacity = static_cast<DWORD>(data.size());
        status = RegQueryValueExW(key, name, nullptr, type, data.data(), &capacity);
        if (status == ERROR_SUCCESS) {
            data.resize(capacity); // shrinking never allocates
            return ERROR_SUCCESS;
        }
        if (status != ERROR_MORE_DATA)
            break;
        // The value grew since the size was asked: capacity now holds the
        // new size, unless the platform left it alone.
        size = capacity > data.size() ? capacity : static_cast<DWORD>(data.size() * 2);
    }
    data.clear();
    return status;
}

LONG SetRawValue(HKEY key, const wchar_t* name, DWORD type, std::vector<BYTE>& data) noexcept
{
    static const BYTE kGuard[] = {'X', 0, 'X', 0};
    const size_t size = data.size();
    // Without exception support a failed allocation here ends the process.
    data.insert(data.end(), kGuard, kGuard + sizeof(kGuard));
    const LONG status = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(size));
    data.resize(size); // shrinking never allocates
    return status;
}

} // namespace registry_detail
