#include "framework/scoped_environment.h"

namespace {

// A few reads: the value may change size between the size query and the read
// only if another thread of ours sets it, which the launcher never does.
constexpr int kReadAttempts = 4;

} // namespace

int ScopedEnvironmentVariable::Record()
{
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        const DWORD needed = GetEnvironmentVariableW(m_name, nullptr, 0);
        if (needed == 0) {
            const DWORD error = GetLastError();
            if (error != ERROR_ENVVAR_NOT_FOUND && error != ERROR_SUCCESS)
                return static_cast<int>(error);
            m_existed = error == ERROR_SUCCESS;
            m_old.clear();
            return 0;
        }
        std::wstring value(needed, L'\0');
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(m_name, &value[0], needed);
        if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            m_existed = false;
            m_old.clear();
            return 0;
        }
        if (length < needed) {
            value.resize(length);
            m_old = std::move(value);
            m_existed = true;
            return 0;
        }
    }
    return ERROR_MORE_DATA;
}

int ScopedEnvironmentVariable::Set(const std::wstring& value)
{
    if (!m_held) {
        const int status = Record();
        if (status != 0)
            return status;
    }
    if (!SetEnvironmentVariableW(m_name, value.c_str())) {
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? static_cast<int>(error) : ERROR_NOT_ENOUGH_MEMORY;
    }
    m_held = true;
    return 0;
}

void ScopedEnvironmentVariable::Restore() noexcept
{
    if (!m_held)
        return;
    m_held = false;
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(m_name, m_existed ? m_old.c_str() : nullptr);
    SetLastError(error);
}
