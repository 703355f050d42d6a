#pragma once
// Owners for system handles: each closes its handle when it goes away, so no
// return path can leak one. One line per handle kind, as WIL's unique_any does:
// the close function and the value that means "no handle" make the type.
#include <windows.h>

#include <cstdint>

// Owns one handle of type T. `Close` is called exactly once for a held handle
// (its result is ignored; a caller that must see a close failure takes the
// handle with release() and closes it itself). `kNone` is the integer value
// of the "no handle" sentinel: 0 for null, -1 for INVALID_HANDLE_VALUE.
template <typename T, auto Close, std::intptr_t kNone = 0> class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(T handle) : m_handle(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    static T none() { return reinterpret_cast<T>(kNone); }

    T get() const { return m_handle; }
    bool valid() const { return m_handle != none(); }
    explicit operator bool() const { return valid(); }

    // Closes the held handle (if any) and takes `handle`.
    void reset(T handle = none())
    {
        const T old = m_handle;
        m_handle = handle;
        if (old != none())
            Close(old);
    }

    // Closes the held handle and returns the address of the empty slot, for
    // functions that hand a handle back through an out-parameter.
    T* put()
    {
        reset();
        return &m_handle;
    }

    // Gives up ownership without closing; the caller closes the result.
    T release()
    {
        const T handle = m_handle;
        m_handle = none();
        return handle;
    }

  private:
    T m_handle = none();
};

// Kernel objects whose "no handle" value is null: processes, threads, events,
// snapshots from CreateToolhelp32Snapshot... (a snapshot that failed returns
// INVALID_HANDLE_VALUE: use UniqueFileHandle for it).
using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;
// Kernel objects whose "no handle" value is INVALID_HANDLE_VALUE: CreateFileW.
using UniqueFileHandle = UniqueHandle<HANDLE, &::CloseHandle, -1>;
// Searches started with FindFirstFileW.
using UniqueFindHandle = UniqueHandle<HANDLE, &::FindClose, -1>;
// Service control manager and service handles from OpenSCManagerW and
// OpenServiceW.
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, &::CloseServiceHandle>;
