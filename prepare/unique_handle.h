#pragma once
// Owners for the handle kinds the preparation steps open: kernel handles
// (processes), tool-help snapshots and service control manager handles. One
// non-copyable owner type per kind, each closing its handle exactly once.
#include <windows.h>

namespace prepare {

// Owns one handle of the kind described by Traits:
//   Traits::pointer          the handle type
//   Traits::Invalid()        the value that means "no handle"
//   Traits::Close(pointer)   releases a valid handle
template <typename Traits>
class UniqueHandleOf {
public:
    using pointer = typename Traits::pointer;

    UniqueHandleOf() = default;
    explicit UniqueHandleOf(pointer handle) : m_handle(handle) {}
    ~UniqueHandleOf() { reset(); }
    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;

    pointer get() const { return m_handle; }
    bool valid() const { return m_handle != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    // Closes the held handle and returns the slot for an out-parameter.
    pointer* put()
    {
        reset();
        return &m_handle;
    }
    // Gives up ownership without closing.
    pointer release()
    {
        const pointer handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    void reset(pointer handle = Traits::Invalid())
    {
        if (valid())
            Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    pointer m_handle = Traits::Invalid();
};

// Process, thread and event handles: null means none.
struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer handle) { CloseHandle(handle); }
};

// Files and tool-help snapshots: INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(pointer handle) { CloseHandle(handle); }
};

// Service control manager and service handles: null means none.
struct ServiceHandleTraits {
    using pointer = SC_HANDLE;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer handle) { CloseServiceHandle(handle); }
};

using UniqueHandle = UniqueHandleOf<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandleOf<FileHandleTraits>;
using UniqueServiceHandle = UniqueHandleOf<ServiceHandleTraits>;

} // namespace prepare
