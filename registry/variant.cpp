#include "registry/variant.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "registry/narrow_text.h"

namespace KV {

namespace {

void PutUint32LE(unsigned char* out, std::uint32_t v) noexcept
{
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t GetUint32LE(const unsigned char* in) noexcept
{
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// Half away from zero, computed in double so that a Float is rounded from its
// exact value. Out of range saturates; NaN gives 0 (a cast would be undefined).
template <typename Int> Int RoundToInteger(double x) noexcept
{
    if (std::isnan(x))
        return 0;
    const double r = std::trunc(x >= 0 ? x + 0.5 : x - 0.5);
    // Both limits are powers of two, so these doubles are exact.
    const double upper = -static_cast<double>(std::numeric_limits<Int>::min()); // 2^(bits-1)
    if (r >= upper)
        return std::numeric_limits<Int>::max();
    if (r < -upper)
        return std::numeric_limits<Int>::min();
    return static_cast<Int>(r);
}

} // namespace

Variant::Variant() noexcept : m_value{}, m_size(0), m_type(Empty) {}

Variant::Variant(bool value) noexcept : m_value{}, m_size(0), m_type(Bool)
{
    m_value.raw[0] = value ? 1 : 0;
}

Variant::Variant(std::int64_t value) noexcept : m_value{}, m_size(0), m_type(Int64)
{
    m_value.i64 = value;
}

Variant::~Variant()
{
    Clear();
}

void* Variant::Allocate(std::size_t n) noexcept
{
    return ::operator new(n, std::nothrow);
}

void Variant::Free(void* buffer) noexcept
{
    ::operator delete(buffer);
}

void Variant::Clear() noexcept
{
    if (OwnsBuffer())
        Free(m_value.owned);
    m_value = Storage{};
    m_size = 0;
    m_type = Empty;
}

void Variant::Adopt(Type type, void* buffer, std::uint32_t size) noexcept
{
    Clear();
    m_value.owned = buffer;
    m_size = size;
    m_type = type;
}

bool Variant::SetBytes(const void* source, std::uint32_t n) noexcept
{
    return SetTyped(Bytes, source, n) == Bytes;
}

bool Variant::SetText(const char* s) noexcept
{
    if (s == nullptr)
        s = "";
    const std::size_t length = std::strlen(s);
    if (length >= std::numeric_limits<std::uint32_t>::max()) {
        Clear();
        return false;
    }
    return SetTyped(Text, s, static_cast<std::uint32_t>(length + 1)) == Text;
}

void Variant::SetBorrowedArray(const void* buffer, std::uint32_t n) noexcept
{
    Clear();
    m_value.borrowed = buffer;
    m_size = n;
    m_type = BorrowedArray;
}

void Variant::SetBorrowedBlock(const void* buffer, std::uint32_t n) noexcept
{
    SetBorrowedArray(buffer, n);
    m_type = BorrowedBlock;
}

std::int32_t Variant::SetTyped(std::uint32_t code, const void* payload, std::uint32_t n) noexcept
{
    if (!Replace(code, payload, n))
        Clear();
    return m_type;
}

bool Variant::Replace(std::uint32_t code, const void* payload, std::uint32_t n) noexcept
{
    // New buffers are filled before the old one is released, so the payload
    // may point into this value's own buffer.
    const unsigned char* bytes = static_cast<const unsigned char*>(payload);
    if (bytes == nullptr && n > 0)
        code = Empty;
    switch (code) {
    case Bool:
    case Int32:
    case Int64:
    case Float:
    case Double: {
        const std::uint32_t width = code == Bool ? 1 : (code == Int32 || code == Float) ? 4 : 8;
        Storage scalar{};
        const bool fits = n == width;
        if (fits)
            std::memcpy(scalar.raw, bytes, width);
        Clear();
        if (fits) {
            m_value = scalar;
            m_type = static_cast<std::int32_t>(code);
        }
        return true;
    }
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
    case Blob: {
        void* buffer = Allocate(n);
        if (buffer == nullptr)
            return false;
        if (n > 0)
            std::memcpy(buffer, bytes, n);
        Adopt(code == Blob ? Blob : Bytes, buffer, n);
        return true;
    }
    case Text: {
        // Up to the first NUL inside the payload; a payload without one is
        // taken whole and terminated here.
        const void* nul = n > 0 ? std::memchr(bytes, 0, n) : nullptr;
        const std::uint32_t length =
            nul ? static_cast<std::uint32_t>(static_cast<const unsigned char*>(nul) - bytes) : n;
        if (length == std::numeric_limits<std::uint32_t>::max())
            return false;
        char* buffer = static_cast<char*>(Allocate(length + 1));
        if (buffer == nullptr)
            return false;
        if (length > 0)
            std::memcpy(buffer, bytes, length);
        buffer[length] = '\0';
        Adopt(Text, buffer, length + 1);
        return true;
    }
    default:
        Clear();
        return true;
    }
}

std::uint64_t Variant::BufferBytesLE(std::uint32_t width) const noexcept
{
    const unsigned char* buffer = Buffer();
    if (buffer == nullptr)
        return 0;
    const std::uint32_t available = m_size < width ? m_size : width;
    std::uint64_t result = 0;
    for (std::uint32_t i = 0; i < available; ++i)
        result |= static_cast<std::uint64_t>(buffer[i]) << (8 * i);
    return result;
}

bool Variant::ToBool() const noexcept
{
    switch (m_type) {
    case Bool:
        return m_value.raw[0] != 0;
    case Int32:
        return m_value.i32 != 0;
    case Int64:
        return m_value.i64 != 0;
    case Float:
        return !(m_value.f == 0.0f); // NaN is true
    case Double:
        return !(m_value.d == 0.0);
    case BorrowedArray:
    case BorrowedBlock:
        return m_value.borrowed != nullptr;
    case Bytes:
    case Blob:
        return m_size != 0;
    case Text:
        return m_size > 1;
    default:
        return false;
    }
}

std::int32_t Variant::ToInt32() const noexcept
{
    switch (m_type) {
    case Bool:
        return m_value.raw[0];
    case Int32:
        return m_value.i32;
    case Int64:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(m_value.i64)));
    case Float:
        return RoundToInteger<std::int32_t>(m_value.f);
    case Double:
        return RoundToInteger<std::int32_t>(m_value.d);
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(BufferBytesLE(4)));
    case Text:
        // A text longer than 2^31 - 1 characters (never seen in the registry)
        // wraps, as the low 32 bits of its 64-bit length.
        return m_size > 0 ? static_cast<std::int32_t>(m_size - 1) : 0;
    default:
        return 0;
    }
}

std::int64_t Variant::ToInt64() const noexcept
{
    switch (m_type) {
    case Bool:
        return m_value.raw[0];
    case Int32:
        return m_value.i32;
    case Int64:
        return m_value.i64;
    case Float:
        return RoundToInteger<std::int64_t>(m_value.f);
    case Double:
        return RoundToInteger<std::int64_t>(m_value.d);
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
        return static_cast<std::int64_t>(BufferBytesLE(8));
    case Text:
        return m_size > 0 ? static_cast<std::int64_t>(m_size) - 1 : 0;
    default:
        return 0;
    }
}

float Variant::ToFloat() const noexcept
{
    switch (m_type) {
    case Bool:
        return m_value.raw[0];
    case Int32:
        return static_cast<float>(m_value.i32);
    case Int64:
        return static_cast<float>(m_value.i64);
    case Float:
        return m_value.f;
    case Double:
        // Out of the float range a double becomes infinity (IEEE), not UB,
        // on every target we build for.
        return static_cast<float>(m_value.d);
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
    case Text:
        return static_cast<float>(ToInt32());
    default:
        return 0.0f;
    }
}

double Variant::ToDouble() const noexcept
{
    switch (m_type) {
    case Bool:
        return m_value.raw[0];
    case Int32:
        return m_value.i32;
    case Int64:
        return static_cast<double>(m_value.i64);
    case Float:
        return m_value.f;
    case Double:
        return m_value.d;
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
    case Text:
        return static_cast<double>(ToInt64());
    default:
        return 0.0;
    }
}

const void* Variant::GetBytes(std::uint32_t* size) const noexcept
{
    std::uint32_t n = 0;
    const void* p = nullptr;
    switch (m_type) {
    case Bool:
    case Int32:
    case Int64:
    case Float:
    case Double:
        p = m_value.raw;
        n = m_type == Bool ? 1 : (m_type == Int32 || m_type == Float) ? 4 : 8;
        break;
    case BorrowedArray:
    case BorrowedBlock:
    case Bytes:
    case Text:
    case Blob:
        p = m_value.borrowed;
        n = m_size;
        break;
    default:
        break;
    }
    if (size)
        *size = n;
    return p;
}

const void* Variant::GetItems(std::uint32_t* count) const noexcept
{
    std::uint32_t n = 0;
    const void* p = nullptr;
    switch (m_type) {
    case Bool:
    case Int32:
    case Int64:
    case Float:
    case Double:
        p = m_value.raw;
        n = 1;
        break;
    case BorrowedArray:
    case Bytes:
    case Text:
        p = m_value.borrowed;
        n = m_size;
        break;
    default:
        break;
    }
    if (count)
        *count = n;
    return p;
}

const char* Variant::GetText() const noexcept
{
    return m_type == Text ? static_cast<const char*>(m_value.borrowed) : nullptr;
}

std::int32_t Variant::Serialize(void* buffer, std::uint32_t capacity) const noexcept
{
    std::uint32_t n = 0;
    const void* payload = GetBytes(&n);
    if (n == 0 && (m_type == BorrowedArray || m_type == BorrowedBlock))
        return kStatusFail;
    // The length is returned as a positive int32.
    if (n > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) - kRecordHeaderSize)
        return kStatusFail;
    const std::uint32_t total = n + kRecordHeaderSize;
    if (buffer == nullptr || capacity < total)
        return kStatusFail;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    PutUint32LE(out, total);
    PutUint32LE(out + 4, 0);
    PutUint32LE(out + 8, static_cast<std::uint32_t>(m_type));
    if (n > 0)
        std::memcpy(out + kRecordHeaderSize, payload, n);
    return static_cast<std::int32_t>(total);
}

std::int32_t Variant::Deserialize(const void* data, std::uint32_t length) noexcept
{
    if (data == nullptr || length < kRecordHeaderSize)
        return kStatusFail;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    const std::uint32_t total = GetUint32LE(in);
    const std::uint32_t reserved = GetUint32LE(in + 4);
    const std::uint32_t code = GetUint32LE(in + 8);
    if (total > length || total < kRecordHeaderSize || reserved != 0 || code > Blob)
        return kStatusFail;
    if (total == kRecordHeaderSize) {
        if (code != Empty && code != Blob)
            return kStatusFail;
        Clear();
        m_type = static_cast<std::int32_t>(code);
        return kStatusOk;
    }
    if (code == Empty)
        return kStatusFail;
    // A payload that does not fit its kind still succeeds (as Empty); only
    // running out of memory fails, and then the value is unchanged.
    if (!Replace(code, in + kRecordHeaderSize, total - kRecordHeaderSize))
        return kStatusOutOfMemory;
    return kStatusOk;
}

void Variant::ToWideString(std::wstring& target) const noexcept
{
    const char* text = GetText();
    if (text == nullptr)
        return;
    const std::size_t length = BoundedLength(text, m_size);
    std::wstring widened(length, L'\0');
    WidenText(text, length, &widened[0]);
    target.swap(widened);
}

} // namespace KV
