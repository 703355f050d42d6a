#pragma once
// The in-memory form of one registry value and its stored binary record.
//
// This file and variant.cpp use no Windows header on purpose: the record
// decoder reads data that other programs wrote into the registry, so it is
// also built and exercised natively on Linux.
//
// Value record (REG_BINARY data), all integers little-endian:
//   offset 0  uint32 total length = 12 + payload length
//   offset 4  uint32 reserved, always 0
//   offset 8  uint32 kind code (Variant::Type, 0 to 10)
//   offset 12 payload: nothing for Empty; 1 byte for Bool; 4 for Int32 and
//             Float; 8 for Int64 and Double; the buffer's bytes for the byte
//             kinds; the characters and their NUL for Text.
// Scalars are copied in host byte order, so the format assumes a
// little-endian host (every Windows target and x86 Linux are).

#include <cstddef>
#include <cstdint>
#include <string>

namespace KV {

// Status values of the value model. They have the numeric values of S_OK,
// S_FALSE and E_FAIL; callers test only the sign.
constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kStatusFalse = 1;
constexpr std::int32_t kStatusFail = static_cast<std::int32_t>(0x80004005u);
// E_OUTOFMEMORY: Deserialize could not get memory for a well-formed record.
constexpr std::int32_t kStatusOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);

// Size of the record header in bytes.
constexpr std::uint32_t kRecordHeaderSize = 12;

// A tagged value of one of eleven kinds. Owned kinds (Bytes, Text, Blob) hold
// a buffer obtained through Allocate and returned through Free; borrowed kinds
// point at memory that someone else owns and must keep alive. Not copyable.
//
// No operation throws. When memory cannot be had, a setter leaves the value
// Empty and returns false, SetTyped returns Empty, Deserialize returns
// kStatusOutOfMemory and leaves the value unchanged.
class Variant {
  public:
    enum Type : std::int32_t {
        Empty = 0,
        Bool = 1,
        Int32 = 2,
        Int64 = 3,
        Float = 4,
        Double = 5,
        BorrowedArray = 6, // pointer and byte size, memory owned elsewhere
        BorrowedBlock = 7, // as BorrowedArray, but offers no element view
        Bytes = 8,         // owned copy of a byte sequence
        Text = 9,          // owned narrow (ISO 8859-1) text and its NUL
        Blob = 10,         // owned bytes that convert to nothing; may have no buffer
    };

    Variant() noexcept;
    // Bool holding 1 or 0.
    explicit Variant(bool value) noexcept;
    // Int64.
    explicit Variant(std::int64_t value) noexcept;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    // Slot 0 of the virtual table; releases an owned buffer as Clear does.
    virtual ~Variant();

    // Queries by kind (Text converts to its length, not to a number it spells):
    //   Bool: the byte. Int32/Int64: the integer (Int64 -> Int32 keeps the low
    //   32 bits). Float/Double: rounded half away from zero; a result outside
    //   the target range saturates to its minimum or maximum, NaN gives 0.
    //   Byte kinds (6 to 8): the first 4 or 8 buffer bytes, little-endian. A
    //   shorter buffer is read only as far as it goes and the missing high
    //   bytes count as 0 ({34 12} gives 0x1234); a null buffer gives 0.
    //   Text: size minus 1 (the character count). Blob and Empty: 0.
    //   ToFloat/ToDouble of kinds 6 to 9 convert ToInt32/ToInt64.
    // ToBool: Bool byte not 0; numbers not 0 (NaN is true); borrowed kinds:
    // buffer not null; Bytes and Blob: size not 0; Text: not empty.
    virtual bool ToBool() const noexcept;
    virtual std::int32_t ToInt32() const noexcept;
    virtual std::int64_t ToInt64() const noexcept;
    virtual float ToFloat() const noexcept;
    virtual double ToDouble() const noexcept;
    // The payload as bytes and its byte count: the value's own storage for
    // kinds 1 to 5 (1, 4 or 8 bytes), the buffer for kinds 6 to 10 (Text
    // counts its NUL), null and 0 for Empty. `size` may be null.
    virtual const void* GetBytes(std::uint32_t* size) const noexcept;
    // The payload as elements: the value's storage and 1 for kinds 1 to 5;
    // the buffer and its byte size for BorrowedArray, Bytes and Text; null
    // and 0 for Empty, BorrowedBlock and Blob. `count` may be null.
    virtual const void* GetItems(std::uint32_t* count) const noexcept;
    // The NUL-terminated narrow text of a Text value, else null.
    virtual const char* GetText() const noexcept;
    // A buffer of n bytes from the general heap, or null when memory cannot
    // be had (n of 0 still gives a distinct non-null buffer).
    virtual void* Allocate(std::size_t n) noexcept;
    // Gives back a buffer from Allocate; null is ignored.
    virtual void Free(void* buffer) noexcept;

    Type GetType() const noexcept { return static_cast<Type>(m_type); }
    // Byte size of the buffer for kinds 6 to 10, else 0.
    std::uint32_t GetSize() const noexcept { return m_size; }

    // Releases an owned buffer; the value becomes Empty.
    void Clear() noexcept;
    // Becomes Bytes holding a copy of the n bytes at source (a buffer is
    // obtained even when n is 0). Returns false, leaving the value Empty,
    // when memory cannot be had or source is null with n above 0.
    bool SetBytes(const void* source, std::uint32_t n) noexcept;
    // Becomes Text holding a copy of the NUL-terminated string s and its NUL.
    // A null s counts as the empty text. Returns false, leaving the value
    // Empty, when memory cannot be had.
    bool SetText(const char* s) noexcept;
    // Becomes a borrowed kind pointing at memory that the caller keeps alive.
    void SetBorrowedArray(const void* buffer, std::uint32_t n) noexcept;
    void SetBorrowedBlock(const void* buffer, std::uint32_t n) noexcept;
    // Becomes the value that a record of kind `code` with this payload
    // describes, and returns the kind now held:
    //   1: n must be 1; 2 and 4: n must be 4; 3 and 5: n must be 8;
    //   6, 7, 8: Bytes with a copy of the n bytes;
    //   9: Text up to the first NUL within the n bytes; payload without a NUL
    //      is taken whole and terminated (never read past n);
    //   10: Blob with a copy of the n bytes.
    // Any other code, a length that does not fit kinds 1 to 5, a null payload
    // with n above 0, or memory that cannot be had leaves the value Empty.
    std::int32_t SetTyped(std::uint32_t code, const void* payload, std::uint32_t n) noexcept;

    // Writes the record into buffer and returns its length (12 + payload).
    // kStatusFail when buffer is null, capacity is smaller than the record, the
    // value is a borrowed kind of size 0, or the record would not fit in a
    // positive int32.
    std::int32_t Serialize(void* buffer, std::uint32_t capacity) const noexcept;
    // Becomes the value the record at data describes; bytes beyond the
    // record's total length are ignored. kStatusFail, with the value left as
    // it was, when: length < 12, data is null, the total length is below 12
    // or above length, the reserved field is not 0, the kind code is 11 or
    // more, a 12-byte record has a kind other than 0 (Empty) or 10 (Blob), or
    // a longer record has kind 0. kStatusOutOfMemory, with the value left as
    // it was, when the record is well-formed but memory cannot be had. A
    // payload whose length does not fit its kind gives Empty with kStatusOk.
    std::int32_t Deserialize(const void* data, std::uint32_t length) noexcept;

    // For Text: replaces target with the text, each byte widened to the code
    // unit of the same value. Any other kind, or memory that cannot be had,
    // leaves target unchanged.
    void ToWideString(std::wstring& target) const noexcept;

  private:
    union Storage {
        unsigned char raw[8];
        std::int32_t i32;
        std::int64_t i64;
        float f;
        double d;
        const void* borrowed;
        void* owned;
    };
    // SetTyped's rules; returns false, leaving the value unchanged, only when
    // memory cannot be had.
    bool Replace(std::uint32_t code, const void* payload, std::uint32_t n) noexcept;
    // Takes over buffer as the owned buffer of the given kind.
    void Adopt(Type type, void* buffer, std::uint32_t size) noexcept;
    // Reads up to `width` buffer bytes as a little-endian integer.
    std::uint64_t BufferBytesLE(std::uint32_t width) const noexcept;
    bool OwnsBuffer() const noexcept { return m_type >= Bytes; }
    const unsigned char* Buffer() const noexcept { return static_cast<const unsigned char*>(m_value.borrowed); }

    alignas(double) Storage m_value;
    std::uint32_t m_size;
    std::int32_t m_type;
};

} // namespace KV
