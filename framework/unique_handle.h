#pragma once
// Owners for system handles: each closes its handle when it goes away, so no
// return path can leak one. One line per handle kind, as WIL's unique_any does:
// the close function and the values that mean "no handle" make the type, so
// no call site has to remember which value a kind's functions fail with.
#include <windows.h>
#include <rpc.h>
#include <wincrypt.h>

#include <cstdint>
#include <type_traits>

// Owns one handle of type T. `Close` is called exactly once for a held handle
// (its result is ignored; a caller that must see a close failure takes the
// handle with release() and closes it itself). `kNone` is the integer value
// an empty owner holds; `kAlsoNone` a second value that the kind's functions
// may return and that is never closed either (INVALID_HANDLE_VALUE and null
// for files and snapshots, as WIL's handle_invalid policy does). T is a
// pointer type or, for the kinds whose handles are integers (CryptoAPI's),
// an integer type.
//
// `Succeeded` is left out (nullptr) for kinds whose functions leave the
// out-parameter empty or untouched when they fail: such an owner hands out
// its slot with put(). A kind whose functions may leave anything in a failed
// out-parameter (the registry's) names the test of its functions' result
// instead, and its owner takes a handle only through receive(), which keeps
// what a call left in the slot only when the call succeeded: no call site
// has to remember to drop it.
template <typename T, auto Close, std::intptr_t kNone = 0, std::intptr_t kAlsoNone = kNone, auto Succeeded = nullptr>
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : m_handle(handle) {}
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

    static T none() noexcept
    {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(kNone);
        else
            return static_cast<T>(kNone);
    }
    static bool IsNone(T handle) noexcept
    {
        std::intptr_t value;
        if constexpr (std::is_pointer_v<T>)
            value = reinterpret_cast<std::intptr_t>(handle);
        else
            value = static_cast<std::intptr_t>(handle);
        return value == kNone || value == kAlsoNone;
    }

    T get() const noexcept { return m_handle; }
    bool valid() const noexcept { return !IsNone(m_handle); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the held handle (if any) and takes `handle`. The calling
    // thread's last error is the same afterwards, so a failure code read
    // after an owner has closed its handle is still the failure's.
    void reset(T handle = none()) noexcept
    {
        const T old = m_handle;
        m_handle = handle;
        if (!IsNone(old)) {
            const DWORD error = GetLastError();
            Close(old);
            SetLastError(error);
        }
    }

    // Closes the held handle and returns the address of the empty slot, for
    // functions that hand a handle back through an out-parameter. Only for
    // the kinds without a `Succeeded` test.
    T* put() noexcept
    {
        static_assert(std::is_null_pointer_v<decltype(Succeeded)>,
                      "this kind's functions may leave anything in a failed out-parameter: use receive()");
        reset();
        return &m_handle;
    }

    // Closes the held handle, then calls `call` with the address of an empty
    // slot (as a function that hands a handle back through an out-parameter
    // takes it) and takes what the call left there only when `Succeeded`
    // says its result is a success; anything else there is dropped, never
    // closed. Returns the call's result. Only for the kinds with a
    // `Succeeded` test.
    template <typename Call> auto receive(Call call)
    {
        static_assert(!std::is_null_pointer_v<decltype(Succeeded)>, "this kind hands out its slot with put()");
        reset();
        T slot = none();
        const auto result = call(&slot);
        if constexpr (!std::is_null_pointer_v<decltype(Succeeded)>) {
            if (Succeeded(result))
                m_handle = slot;
        }
        return result;
    }

    // Gives up ownership without closing; the caller closes the result.
    T release() noexcept
    {
        const T handle = m_handle;
        m_handle = none();
        return handle;
    }

  private:
    T m_handle = none();
};

namespace unique_handle_detail {
inline void FreeRpcString(RPC_WSTR text)
{
    RpcStringFreeW(&text);
}
inline void ReleaseCryptProvider(HCRYPTPROV provider)
{
    CryptReleaseContext(provider, 0);
}
// The registry's functions report ERROR_SUCCESS; a failed one may leave
// anything in its out-parameter.
constexpr bool RegistryCallSucceeded(LONG status)
{
    return status == ERROR_SUCCESS;
}
} // namespace unique_handle_detail

constexpr std::intptr_t kInvalidHandleValue = -1; // INVALID_HANDLE_VALUE

// Kernel objects that fail as null: processes, threads, tokens, mutexes, events.
using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;
// Files and folders from CreateFileW, which fails with INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueHandle<HANDLE, &::CloseHandle, kInvalidHandleValue, 0>;
// Process snapshots from CreateToolhelp32Snapshot, which fails with INVALID_HANDLE_VALUE.
using UniqueSnapshotHandle = UniqueHandle<HANDLE, &::CloseHandle, kInvalidHandleValue, 0>;
// Searches from FindFirstFileW, which fails with INVALID_HANDLE_VALUE.
using UniqueFindHandle = UniqueHandle<HANDLE, &::FindClose, kInvalidHandleValue>;
// Service control manager and service handles from OpenSCManagerW and OpenServiceW.
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, &::CloseServiceHandle>;
// Registry keys from RegOpenKeyExW and RegCreateKeyExW, taken with receive().
using UniqueHkey = UniqueHandle<HKEY, &::RegCloseKey, 0, 0, &unique_handle_detail::RegistryCallSucceeded>;
// Modules from LoadLibraryW and LoadLibraryExW.
using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary>;
// Memory from LocalAlloc, such as security descriptors and SID strings.
using UniqueLocalMemory = UniqueHandle<HLOCAL, &::LocalFree>;
// Strings that the RPC run time allocates (UuidToStringW).
using UniqueRpcString = UniqueHandle<RPC_WSTR, &unique_handle_detail::FreeRpcString>;
// Cryptographic providers from CryptAcquireContextW and hashes from
// CryptCreateHash (integer handles; 0 is none).
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, &unique_handle_detail::ReleaseCryptProvider>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, &::CryptDestroyHash>;
// Ownership of a mutex that a wait acquired: released (not closed) when it
// goes away. The mutex's handle itself has its own owner.
using UniqueMutexOwnership = UniqueHandle<HANDLE, &::ReleaseMutex>;
