#pragma once
// Owners for the handle kinds of the registry layer: one non-copyable type per
// kind, closed by its close function when it goes away.
#include <windows.h>

namespace registry_detail {

template <typename T, auto Close> class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T value) noexcept : m_value(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != nullptr; }
    // For out-parameters: closes what is held and hands out the slot.
    T* put() noexcept
    {
        reset();
        return &m_value;
    }
    T release() noexcept
    {
        T value = m_value;
        m_value = nullptr;
        return value;
    }
    void reset(T value = nullptr) noexcept
    {
        if (m_value != nullptr)
            Close(m_value);
        m_value = value;
    }

  private:
    T m_value = nullptr;
};

// An open registry key from RegOpenKeyExW/RegCreateKeyExW.
using UniqueHkey = UniqueHandle<HKEY, &RegCloseKey>;
// A module from LoadLibraryW.
using UniqueModule = UniqueHandle<HMODULE, &FreeLibrary>;

} // namespace registry_detail
