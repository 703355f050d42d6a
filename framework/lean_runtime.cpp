// The pieces of the C++ run time that the launcher executables replace with
// smaller ones of their own. Linked into the launchers only, never into the
// core library, so test programs keep the toolchain's run time.
//
// The launcher is built without exception support (see the top-level
// CMakeLists.txt): the unwinder, the personality routine and the thread
// library they need would triple the size of the executable. Nothing in the
// launcher's own code throws or catches, so the run time's throwing paths are
// the only ones left, and each of them meant the end of the process before:
// an exception that nobody catches reaches std::terminate, whose default
// handler prints the exception's type to standard error and calls abort().
// Here every such path calls abort() at once. The exit is the same (the run
// time's abnormal end, exit code 3); only the line on standard error, which a
// windowed program never shows, is gone, and with it the name demangler.
#include <cstdlib>
#include <new>
#include <string>

// The library's std::terminate handler. Reached only through an uncaught
// exception, which a launcher cannot raise any more.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

// The library's standard containers report misuse and impossible sizes
// through these functions. The library's own definitions build exception
// objects holding copies of the message, which drags in the narrow string
// and the exception classes; libstdc++ documents replacing them for builds
// without exceptions.
namespace std {
void __throw_bad_alloc()
{
    abort();
}
void __throw_bad_array_new_length()
{
    abort();
}
void __throw_length_error(const char*)
{
    abort();
}
void __throw_logic_error(const char*)
{
    abort();
}
void __throw_out_of_range(const char*)
{
    abort();
}
void __throw_out_of_range_fmt(const char*, ...)
{
    abort();
}
void __throw_invalid_argument(const char*)
{
    abort();
}
} // namespace std

// Global allocation on the C run time's heap. Memory that cannot be had ends
// the process, as std::bad_alloc did when nothing caught it; the nothrow forms
// return null as before (the registry value model depends on that).
void* operator new(std::size_t size)
{
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr)
        std::abort();
    return block;
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}

// The strings' members, instantiated here so that dead-code removal can drop
// the ones the launcher does not use. The library's own instantiations are
// indivisible object files of about 35 KB each, built with exception support,
// which would bring the whole exception run time back.
template class std::basic_string<wchar_t>;
template class std::basic_string<char>;
