// The value-record decoder with the queries and Serialize. A decoded record
// must re-encode to the same bytes wherever the format says it must, a failed
// decode must leave the value as it was, and no query may read outside the
// value's memory.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "registry/variant.h"

namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint8_t> Encode(const KV::Variant& value)
{
    std::uint32_t size = 0;
    value.GetBytes(&size);
    std::vector<std::uint8_t> record(size + KV::kRecordHeaderSize + 1);
    const std::int32_t n = value.Serialize(record.data(), static_cast<std::uint32_t>(record.size()));
    if (n < 0)
        return {};
    record.resize(static_cast<std::size_t>(n));
    return record;
}

std::vector<std::uint8_t> Record(std::uint32_t code, const std::uint8_t* payload, std::uint32_t n)
{
    std::vector<std::uint8_t> record(12 + n);
    const std::uint32_t header[3] = {12 + n, 0, code};
    std::memcpy(record.data(), header, 12);
    if (n > 0)
        std::memcpy(record.data() + 12, payload, n);
    return record;
}

// What the record must re-encode to, written from the format's rules alone;
// `ok` says whether the decode must succeed at all.
std::vector<std::uint8_t> Expected(const std::uint8_t* data, std::size_t size, bool* ok)
{
    *ok = false;
    if (size < 12)
        return {};
    const std::uint32_t total = Le32(data), reserved = Le32(data + 4), code = Le32(data + 8);
    if (total > size || total < 12 || reserved != 0 || code > 10)
        return {};
    const std::uint32_t n = total - 12;
    const std::uint8_t* payload = data + 12;
    if (n == 0) {
        *ok = code == 0 || code == 10;
        return Record(code, nullptr, 0);
    }
    if (code == 0)
        return {};
    *ok = true;
    static const std::uint32_t scalarWidth[] = {0, 1, 4, 8, 4, 8};
    if (code <= 5)
        return n == scalarWidth[code] ? Record(code, payload, n) : Record(0, nullptr, 0);
    if (code == 6 || code == 7 || code == 8)
        return Record(8, payload, n);
    if (code == 10)
        return Record(10, payload, n);
    // Text: up to and including the first NUL; a payload without one is taken whole.
    std::vector<std::uint8_t> text(payload, payload + n);
    const auto nul = std::find(text.begin(), text.end(), 0);
    if (nul != text.end())
        text.erase(nul + 1, text.end());
    else
        text.push_back(0);
    return Record(9, text.data(), static_cast<std::uint32_t>(text.size()));
}

void ExerciseQueries(const KV::Variant& value)
{
    std::uint32_t size = 0, count = 0;
    const void* bytes = value.GetBytes(&size);
    const void* items = value.GetItems(&count);
    // Touch every byte the queries hand out, so a wrong size shows as an overflow.
    volatile std::uint8_t sink = 0;
    for (std::uint32_t i = 0; bytes && i < size; ++i)
        sink = sink + static_cast<const std::uint8_t*>(bytes)[i];
    if (items != nullptr && value.GetType() >= KV::Variant::BorrowedArray)
        FUZZ_CHECK(count == size);
    if (const char* text = value.GetText())
        FUZZ_CHECK(std::strlen(text) + 1 == value.GetSize());
    (void)value.ToBool();
    (void)value.ToInt32();
    (void)value.ToInt64();
    (void)value.ToFloat();
    (void)value.ToDouble();
    std::wstring wide = L"unchanged";
    value.ToWideString(wide);
    if (value.GetType() == KV::Variant::Text)
        FUZZ_CHECK(wide.size() + 1 == value.GetSize());
    else
        FUZZ_CHECK(wide == L"unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly the input's size, so reading past it is caught.
    std::vector<std::uint8_t> input(data, data + size);
    bool mustSucceed = false;
    const std::vector<std::uint8_t> expected = Expected(input.data(), input.size(), &mustSucceed);

    KV::Variant value(static_cast<std::int64_t>(0x1122334455667788LL));
    const std::vector<std::uint8_t> before = Encode(value);
    const std::int32_t status =
        value.Deserialize(input.empty() ? nullptr : input.data(), static_cast<std::uint32_t>(input.size()));
    FUZZ_CHECK((status >= 0) == mustSucceed);
    if (status >= 0)
        FUZZ_CHECK(Encode(value) == expected);
    else
        FUZZ_CHECK(Encode(value) == before);
    ExerciseQueries(value);

    // The same bytes as a borrowed buffer: queries stay inside it.
    KV::Variant borrowed;
    borrowed.SetBorrowedArray(input.empty() ? nullptr : input.data(), static_cast<std::uint32_t>(input.size()));
    ExerciseQueries(borrowed);
    borrowed.SetBorrowedBlock(input.empty() ? nullptr : input.data(), static_cast<std::uint32_t>(input.size()));
    ExerciseQueries(borrowed);
    return 0;
}
