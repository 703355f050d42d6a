// The value model and its record format. Plain C++: no Windows header.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "registry/narrow_text.h"
#include "registry/variant.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using KV::Variant;

Bytes Record(std::uint32_t total, std::uint32_t reserved, std::uint32_t code, const Bytes& payload = {})
{
    Bytes out;
    for (std::uint32_t v : {total, reserved, code})
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes PayloadOf(const Variant& v)
{
    std::uint32_t n = 0;
    const auto* p = static_cast<const std::uint8_t*>(v.GetBytes(&n));
    return p ? Bytes(p, p + n) : Bytes();
}

Bytes SerializeAll(const Variant& v, std::int32_t* status = nullptr)
{
    Bytes out(v.GetSize() + 64, 0xCC);
    const std::int32_t n = v.Serialize(out.data(), static_cast<std::uint32_t>(out.size()));
    if (status)
        *status = n;
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

template <typename T> void SetScalar(Variant& v, Variant::Type type, T x)
{
    v.SetTyped(type, &x, sizeof x);
}

// ---- Record decoding: every edge case, one table ---------------------------

struct DecodeCase {
    const char* name;
    Bytes data;
    std::int32_t status;
    Variant::Type type; // expected kind after success
    Bytes payload;      // expected GetBytes after success
};

class Deserialize : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Deserialize, GivesKindAndPayloadOrLeavesValueUnchanged)
{
    const DecodeCase& c = GetParam();
    Variant v;
    ASSERT_TRUE(v.SetText("keep"));
    EXPECT_EQ(c.status, v.Deserialize(c.data.data(), static_cast<std::uint32_t>(c.data.size())));
    if (c.status < 0) {
        ASSERT_EQ(Variant::Text, v.GetType());
        EXPECT_STREQ("keep", v.GetText());
    } else {
        EXPECT_EQ(c.type, v.GetType());
        EXPECT_EQ(c.payload, PayloadOf(v));
    }
}

const std::uint32_t kFail = static_cast<std::uint32_t>(KV::kStatusFail);

INSTANTIATE_TEST_SUITE_P(
    Records, Deserialize,
    ::testing::Values(
        DecodeCase{"EmptyHeaderOnly", Record(12, 0, 0), KV::kStatusOk, Variant::Empty, {}},
        DecodeCase{"BlobHeaderOnly", Record(12, 0, 10), KV::kStatusOk, Variant::Blob, {}},
        DecodeCase{"Int32WithoutPayload", Record(12, 0, 2), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"BytesWithoutPayload", Record(12, 0, 8), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"TextWithoutPayload", Record(12, 0, 9), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"EmptyWithPayload", Record(13, 0, 0, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"Int32OfOneByteIsEmpty", Record(13, 0, 2, {7}), KV::kStatusOk, Variant::Empty, {}},
        DecodeCase{"BoolOfTwoBytesIsEmpty", Record(14, 0, 1, {1, 1}), KV::kStatusOk, Variant::Empty, {}},
        DecodeCase{"DoubleOfFourBytesIsEmpty", Record(16, 0, 5, {0, 0, 0, 0}), KV::kStatusOk, Variant::Empty, {}},
        DecodeCase{"BoolTrailingBytesIgnored", Record(13, 0, 1, {1, 0xAA, 0xBB}), KV::kStatusOk, Variant::Bool, {1}},
        DecodeCase{"Int32",
                   Record(16, 0, 2, {0xFE, 0xFF, 0xFF, 0xFF}),
                   KV::kStatusOk,
                   Variant::Int32,
                   {0xFE, 0xFF, 0xFF, 0xFF}},
        DecodeCase{"Float", Record(16, 0, 4, {0, 0, 0x20, 0x40}), KV::kStatusOk, Variant::Float, {0, 0, 0x20, 0x40}},
        DecodeCase{"Int64",
                   Record(20, 0, 3, {1, 0, 0, 0, 0, 0, 0, 0}),
                   KV::kStatusOk,
                   Variant::Int64,
                   {1, 0, 0, 0, 0, 0, 0, 0}},
        DecodeCase{"BorrowedArrayBecomesBytes", Record(14, 0, 6, {1, 2}), KV::kStatusOk, Variant::Bytes, {1, 2}},
        DecodeCase{"BorrowedBlockBecomesBytes", Record(14, 0, 7, {1, 2}), KV::kStatusOk, Variant::Bytes, {1, 2}},
        DecodeCase{"Bytes", Record(15, 0, 8, {1, 2, 3}), KV::kStatusOk, Variant::Bytes, {1, 2, 3}},
        DecodeCase{"Blob", Record(13, 0, 10, {9}), KV::kStatusOk, Variant::Blob, {9}},
        DecodeCase{"Text", Record(15, 0, 9, {'a', 'b', 0}), KV::kStatusOk, Variant::Text, {'a', 'b', 0}},
        DecodeCase{"TextUpToFirstNul", Record(16, 0, 9, {'a', 0, 'b', 0}), KV::kStatusOk, Variant::Text, {'a', 0}},
        // No NUL inside the payload: the text is taken whole and terminated;
        // the byte after the record (0x7A) is not read into it.
        DecodeCase{"TextWithoutNulIsTerminated",
                   Record(14, 0, 9, {'a', 'b', 'z'}),
                   KV::kStatusOk,
                   Variant::Text,
                   {'a', 'b', 0}},
        DecodeCase{"ReservedOne", Record(12, 1, 0), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"ReservedHighBit", Record(13, 0x80000000u, 1, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"KindEleven", Record(13, 0, 11, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"KindAllOnes", Record(13, 0, 0xFFFFFFFFu, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"KindLooksNegative", Record(13, 0, kFail, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"TotalBeyondData", Record(20, 0, 3, {1, 0, 0, 0}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"TotalBelowHeader", Record(11, 0, 0), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"TotalHuge", Record(0xFFFFFFFFu, 0, 8, {1}), KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"ShorterThanHeader", Bytes{12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, KV::kStatusFail, Variant::Empty, {}},
        DecodeCase{"NoData", Bytes{}, KV::kStatusFail, Variant::Empty, {}}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(Deserialize, NullDataFails)
{
    Variant v(true);
    EXPECT_EQ(KV::kStatusFail, v.Deserialize(nullptr, 100));
    EXPECT_EQ(Variant::Bool, v.GetType());
}

TEST(Deserialize, TextWithoutNulStaysInsideItsPayload)
{
    // The record says 14 bytes; the data behind it must not leak into the text.
    Bytes data = Record(14, 0, 9, {'x', 'y'});
    data.push_back('!');
    Variant v;
    ASSERT_EQ(KV::kStatusOk, v.Deserialize(data.data(), 14));
    EXPECT_STREQ("xy", v.GetText());
    EXPECT_EQ(3u, v.GetSize());
}

// ---- Record encoding --------------------------------------------------------

TEST(Serialize, ByteExactExamples)
{
    Variant boolTrue(true);
    EXPECT_EQ((Bytes{0x0D, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}), SerializeAll(boolTrue));
    Variant int64One(static_cast<std::int64_t>(1));
    EXPECT_EQ((Bytes{0x14, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}), SerializeAll(int64One));
    Variant empty;
    EXPECT_EQ((Bytes{0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), SerializeAll(empty));
    Variant text;
    ASSERT_TRUE(text.SetText("ab"));
    EXPECT_EQ((Bytes{0x0F, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0x61, 0x62, 0}), SerializeAll(text));
}

TEST(Serialize, EmptyPayloadKinds)
{
    Variant blob;
    const Bytes header = Record(12, 0, 10);
    ASSERT_EQ(KV::kStatusOk, blob.Deserialize(header.data(), 12));
    EXPECT_EQ(Record(12, 0, 10), SerializeAll(blob));

    Variant bytes;
    ASSERT_TRUE(bytes.SetBytes(nullptr, 0));
    const Bytes bytesRecord = SerializeAll(bytes);
    EXPECT_EQ(Record(12, 0, 8), bytesRecord);
    Variant back;
    EXPECT_EQ(KV::kStatusFail, back.Deserialize(bytesRecord.data(), 12)); // only kinds 0 and 10 may be bare

    const std::uint8_t one = 1;
    for (Variant::Type kind : {Variant::BorrowedArray, Variant::BorrowedBlock}) {
        Variant borrowed;
        if (kind == Variant::BorrowedArray)
            borrowed.SetBorrowedArray(&one, 0);
        else
            borrowed.SetBorrowedBlock(&one, 0);
        std::uint8_t buffer[64];
        EXPECT_EQ(KV::kStatusFail, borrowed.Serialize(buffer, sizeof buffer)) << kind;
    }
}

TEST(Serialize, RefusesSmallOrMissingBuffer)
{
    Variant v(static_cast<std::int64_t>(5));
    std::uint8_t buffer[20];
    EXPECT_EQ(KV::kStatusFail, v.Serialize(buffer, 19));
    EXPECT_EQ(KV::kStatusFail, v.Serialize(nullptr, 100));
    EXPECT_EQ(20, v.Serialize(buffer, 20));
}

// Every kind survives a record round trip; borrowed kinds come back owned.
TEST(Serialize, RoundTripEveryKind)
{
    const std::uint8_t raw[] = {1, 2, 3, 4, 5};
    struct Case {
        Variant::Type made;
        Variant::Type readBack;
    };
    for (Case c : {Case{Variant::Empty, Variant::Empty}, Case{Variant::Bool, Variant::Bool},
                   Case{Variant::Int32, Variant::Int32}, Case{Variant::Int64, Variant::Int64},
                   Case{Variant::Float, Variant::Float}, Case{Variant::Double, Variant::Double},
                   Case{Variant::BorrowedArray, Variant::Bytes}, Case{Variant::BorrowedBlock, Variant::Bytes},
                   Case{Variant::Bytes, Variant::Bytes}, Case{Variant::Text, Variant::Text},
                   Case{Variant::Blob, Variant::Blob}}) {
        Variant v;
        switch (c.made) {
        case Variant::Empty:
            break;
        case Variant::Bool:
            SetScalar<std::uint8_t>(v, c.made, 200);
            break;
        case Variant::Int32:
            SetScalar<std::int32_t>(v, c.made, -123456);
            break;
        case Variant::Int64:
            SetScalar<std::int64_t>(v, c.made, -(std::int64_t(1) << 40));
            break;
        case Variant::Float:
            SetScalar<float>(v, c.made, -1.25f);
            break;
        case Variant::Double:
            SetScalar<double>(v, c.made, 6.02e23);
            break;
        case Variant::BorrowedArray:
            v.SetBorrowedArray(raw, sizeof raw);
            break;
        case Variant::BorrowedBlock:
            v.SetBorrowedBlock(raw, sizeof raw);
            break;
        case Variant::Text:
            v.SetText("\xE9t\xE9");
            break;
        default:
            v.SetTyped(c.made, raw, sizeof raw);
            break;
        }
        ASSERT_EQ(c.made, v.GetType());
        std::int32_t status = 0;
        const Bytes record = SerializeAll(v, &status);
        ASSERT_GE(status, 12) << c.made;
        Variant back;
        ASSERT_EQ(KV::kStatusOk, back.Deserialize(record.data(), static_cast<std::uint32_t>(record.size())));
        EXPECT_EQ(c.readBack, back.GetType()) << c.made;
        EXPECT_EQ(PayloadOf(v), PayloadOf(back)) << c.made;
    }
}

// ---- Queries by kind --------------------------------------------------------

const std::uint8_t kNine[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

void Make(Variant& v, Variant::Type kind)
{
    switch (kind) {
    case Variant::Bool:
        SetScalar<std::uint8_t>(v, kind, 200);
        break;
    case Variant::Int32:
        SetScalar<std::int32_t>(v, kind, -7);
        break;
    case Variant::Int64:
        SetScalar<std::int64_t>(v, kind, (std::int64_t(1) << 32) + 5);
        break;
    case Variant::Float:
        SetScalar<float>(v, kind, 2.5f);
        break;
    case Variant::Double:
        SetScalar<double>(v, kind, -2.5);
        break;
    case Variant::BorrowedArray:
        v.SetBorrowedArray(kNine, sizeof kNine);
        break;
    case Variant::BorrowedBlock:
        v.SetBorrowedBlock(kNine, sizeof kNine);
        break;
    case Variant::Bytes:
    case Variant::Blob:
        v.SetTyped(kind, kNine, sizeof kNine);
        break;
    case Variant::Text:
        v.SetText("123");
        break;
    default:
        break;
    }
}

enum class Where { Null, Value, Buffer };

struct QueryCase {
    Variant::Type kind;
    bool toBool;
    std::int32_t toInt32;
    std::int64_t toInt64;
    float toFloat;
    double toDouble;
    Where bytesAt;
    std::uint32_t byteCount;
    Where itemsAt;
    std::uint32_t itemCount;
    bool hasText;
};

class Queries : public ::testing::TestWithParam<QueryCase> {};

TEST_P(Queries, AnswerAsTheKindTableSays)
{
    const QueryCase& c = GetParam();
    Variant v;
    Make(v, c.kind);
    ASSERT_EQ(c.kind, v.GetType());
    EXPECT_EQ(c.toBool, v.ToBool());
    EXPECT_EQ(c.toInt32, v.ToInt32());
    EXPECT_EQ(c.toInt64, v.ToInt64());
    EXPECT_EQ(c.toFloat, v.ToFloat());
    EXPECT_EQ(c.toDouble, v.ToDouble());
    auto where = [&](const void* p) {
        if (p == nullptr)
            return Where::Null;
        const auto* b = static_cast<const std::uint8_t*>(p);
        const auto* self = reinterpret_cast<const std::uint8_t*>(&v);
        return (b >= self && b < self + sizeof v) ? Where::Value : Where::Buffer;
    };
    std::uint32_t n = 99;
    EXPECT_EQ(c.bytesAt, where(v.GetBytes(&n)));
    EXPECT_EQ(c.byteCount, n);
    n = 99;
    EXPECT_EQ(c.itemsAt, where(v.GetItems(&n)));
    EXPECT_EQ(c.itemCount, n);
    EXPECT_EQ(c.hasText, v.GetText() != nullptr);
}

const std::int32_t kLow = 0x04030201;
const std::int64_t kLow64 = 0x0807060504030201;

INSTANTIATE_TEST_SUITE_P(
    KindTable, Queries,
    ::testing::Values(QueryCase{Variant::Empty, false, 0, 0, 0.f, 0., Where::Null, 0, Where::Null, 0, false},
                      QueryCase{Variant::Bool, true, 200, 200, 200.f, 200., Where::Value, 1, Where::Value, 1, false},
                      QueryCase{Variant::Int32, true, -7, -7, -7.f, -7., Where::Value, 4, Where::Value, 1, false},
                      QueryCase{Variant::Int64, true, 5, (std::int64_t(1) << 32) + 5, 4294967301.f, 4294967301.,
                                Where::Value, 8, Where::Value, 1, false},
                      QueryCase{Variant::Float, true, 3, 3, 2.5f, 2.5, Where::Value, 4, Where::Value, 1, false},
                      QueryCase{Variant::Double, true, -3, -3, -2.5f, -2.5, Where::Value, 8, Where::Value, 1, false},
                      QueryCase{Variant::BorrowedArray, true, kLow, kLow64, float(kLow), double(kLow64), Where::Buffer,
                                9, Where::Buffer, 9, false},
                      QueryCase{Variant::BorrowedBlock, true, kLow, kLow64, float(kLow), double(kLow64), Where::Buffer,
                                9, Where::Null, 0, false},
                      QueryCase{Variant::Bytes, true, kLow, kLow64, float(kLow), double(kLow64), Where::Buffer, 9,
                                Where::Buffer, 9, false},
                      QueryCase{Variant::Text, true, 3, 3, 3.f, 3., Where::Buffer, 4, Where::Buffer, 4, true},
                      QueryCase{Variant::Blob, true, 0, 0, 0.f, 0., Where::Buffer, 9, Where::Null, 0, false}));

TEST(Queries, TextConvertsToItsLengthNotItsDigits)
{
    Variant v;
    v.SetText("");
    EXPECT_FALSE(v.ToBool());
    EXPECT_EQ(0, v.ToInt32());
    v.SetText("abc");
    EXPECT_EQ(3.0f, v.ToFloat());
    EXPECT_EQ(3.0, v.ToDouble());
}

TEST(Queries, IntegerWidening)
{
    Variant v;
    SetScalar<std::int32_t>(v, Variant::Int32, -1);
    EXPECT_EQ(-1, v.ToInt64());
    SetScalar<std::int64_t>(v, Variant::Int64, std::int64_t(0xFFFFFFFF80000000));
    EXPECT_EQ(std::numeric_limits<std::int32_t>::min(), v.ToInt32());
}

TEST(Queries, ZeroAndNaNAsBool)
{
    Variant v;
    SetScalar<float>(v, Variant::Float, 0.0f);
    EXPECT_FALSE(v.ToBool());
    SetScalar<double>(v, Variant::Double, -0.0);
    EXPECT_FALSE(v.ToBool());
    SetScalar<double>(v, Variant::Double, std::nan(""));
    EXPECT_TRUE(v.ToBool());
    v.SetBorrowedArray(nullptr, 4);
    EXPECT_FALSE(v.ToBool());
    EXPECT_EQ(0, v.ToInt32());
    EXPECT_EQ(0, v.ToInt64());
}

// Half away from zero; out of range saturates; NaN gives 0.
struct RoundCase {
    double x;
    std::int32_t to32;
    std::int64_t to64;
};

class Rounding : public ::testing::TestWithParam<RoundCase> {};

TEST_P(Rounding, DoubleAndFloat)
{
    const RoundCase& c = GetParam();
    Variant v;
    SetScalar<double>(v, Variant::Double, c.x);
    EXPECT_EQ(c.to32, v.ToInt32()) << c.x;
    EXPECT_EQ(c.to64, v.ToInt64()) << c.x;
    const float f = static_cast<float>(c.x);
    if (static_cast<double>(f) == c.x || std::isnan(c.x)) {
        SetScalar<float>(v, Variant::Float, f);
        EXPECT_EQ(c.to32, v.ToInt32()) << "float " << c.x;
        EXPECT_EQ(c.to64, v.ToInt64()) << "float " << c.x;
    }
}

const std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
const std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
const std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
const std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, Rounding,
    ::testing::Values(RoundCase{2.5, 3, 3}, RoundCase{2.4, 2, 2}, RoundCase{-2.5, -3, -3}, RoundCase{-0.4, 0, 0},
                      RoundCase{0.5, 1, 1}, RoundCase{-0.5, -1, -1}, RoundCase{std::nan(""), 0, 0},
                      RoundCase{-std::nan(""), 0, 0}, RoundCase{2147483647.4, kMax32, 2147483647},
                      RoundCase{2147483647.5, kMax32, 2147483648}, RoundCase{-2147483648.4, kMin32, -2147483648LL},
                      RoundCase{-2147483648.5, kMin32, -2147483649LL}, RoundCase{1e10, kMax32, 10000000000LL},
                      RoundCase{-1e10, kMin32, -10000000000LL}, RoundCase{9223372036854775808.0, kMax32, kMax64},
                      RoundCase{-9223372036854775808.0, kMin32, kMin64}, RoundCase{1e300, kMax32, kMax64},
                      RoundCase{-1e300, kMin32, kMin64}, RoundCase{kInf, kMax32, kMax64},
                      RoundCase{-kInf, kMin32, kMin64}));

// Byte kinds with fewer than 4 or 8 bytes read only what they have; the bytes
// behind the borrowed size (0xFF) must not show up.
TEST(Queries, ShortBuffersAreReadOnlyAsFarAsTheyGo)
{
    const std::uint8_t memory[] = {0x34, 0x12, 0x56, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Variant v;
    v.SetBorrowedArray(memory, 2);
    EXPECT_EQ(0x1234, v.ToInt32());
    EXPECT_EQ(0x1234, v.ToInt64());
    v.SetBorrowedBlock(memory, 3);
    EXPECT_EQ(0x561234, v.ToInt32());
    EXPECT_EQ(0x561234, v.ToInt64());
    EXPECT_EQ(float(0x561234), v.ToFloat());
    v.SetBorrowedArray(memory, 5);
    EXPECT_EQ(std::int32_t(0xFF561234u), v.ToInt32());
    EXPECT_EQ(0xFFFF561234LL, v.ToInt64());
    v.SetBytes(memory, 0);
    EXPECT_EQ(0, v.ToInt32());
    EXPECT_EQ(0, v.ToInt64());
    EXPECT_FALSE(v.ToBool());
}

// ---- Setters ----------------------------------------------------------------

TEST(Setters, SetTypedRulesAndTheKindHeld)
{
    Variant v;
    const std::uint8_t four[] = {1, 0, 0, 0};
    EXPECT_EQ(Variant::Int32, v.SetTyped(2, four, 4));
    EXPECT_EQ(Variant::Empty, v.SetTyped(2, four, 3));
    EXPECT_EQ(Variant::Empty, v.SetTyped(3, four, 4));
    EXPECT_EQ(Variant::Empty, v.SetTyped(11, four, 4));
    EXPECT_EQ(Variant::Empty, v.SetTyped(0, four, 4));
    EXPECT_EQ(Variant::Empty, v.SetTyped(8, nullptr, 4));
    EXPECT_EQ(Variant::Bytes, v.SetTyped(7, four, 4));
    EXPECT_EQ(Variant::Blob, v.SetTyped(10, four, 4));
    EXPECT_EQ(Variant::Text, v.SetTyped(9, nullptr, 0));
    EXPECT_EQ(1u, v.GetSize());
}

TEST(Setters, SetTextAcceptsItsOwnBuffer)
{
    Variant v;
    ASSERT_TRUE(v.SetText("abc"));
    ASSERT_TRUE(v.SetText(v.GetText() + 1));
    EXPECT_STREQ("bc", v.GetText());
    ASSERT_TRUE(v.SetBytes(v.GetText(), 2));
    EXPECT_EQ((Bytes{'b', 'c'}), PayloadOf(v));
}

TEST(Setters, ToWideStringWidensEveryByte)
{
    Variant v;
    std::wstring target = L"unchanged";
    v.ToWideString(target);
    EXPECT_EQ(L"unchanged", target);
    v.SetText("A\xE9\xFF");
    v.ToWideString(target);
    EXPECT_EQ(std::wstring(L"A\u00E9\u00FF"), target);
}

// A value whose heap is exhausted: every allocation fails.
class StarvedVariant : public Variant {
  public:
    void* Allocate(std::size_t) noexcept override { return nullptr; }
};

TEST(OutOfMemory, SettersLeaveEmptyAndDeserializeLeavesValueUnchanged)
{
    StarvedVariant v;
    EXPECT_FALSE(v.SetBytes("ab", 2));
    EXPECT_EQ(Variant::Empty, v.GetType());
    EXPECT_FALSE(v.SetText("ab"));
    EXPECT_EQ(Variant::Empty, v.GetType());
    EXPECT_EQ(Variant::Empty, v.SetTyped(10, "ab", 2));

    SetScalar<std::int32_t>(v, Variant::Int32, 42); // scalars need no heap
    const Bytes record = Record(14, 0, 8, {1, 2});
    EXPECT_EQ(KV::kStatusOutOfMemory, v.Deserialize(record.data(), 14));
    EXPECT_EQ(Variant::Int32, v.GetType());
    EXPECT_EQ(42, v.ToInt32());
}

// ---- Narrow text: ISO 8859-1 exactly ----------------------------------------

TEST(NarrowText, EveryUnitUpToFFMapsToItsByteAndBack)
{
    for (unsigned u = 0; u <= 0xFF; ++u) {
        const wchar_t unit = static_cast<wchar_t>(u);
        char narrow[2] = {'x', 'x'};
        ASSERT_TRUE(KV::NarrowText(&unit, 1, narrow)) << u;
        EXPECT_EQ(u, static_cast<unsigned char>(narrow[0]));
        EXPECT_EQ('\0', narrow[1]);
        wchar_t wide[2] = {L'x', L'x'};
        KV::WidenText(narrow, 1, wide);
        EXPECT_EQ(unit, wide[0]);
        EXPECT_EQ(L'\0', wide[1]);
    }
}

TEST(NarrowText, AnyUnitAboveFFFailsAndWritesNothing)
{
    for (unsigned u : {0x100u, 0x20ACu, 0xD83Du, 0xDE00u, 0xFFFEu, 0xFFFFu}) {
        const wchar_t text[] = {L'a', static_cast<wchar_t>(u), L'b'};
        char narrow[4] = {'x', 'x', 'x', 'x'};
        EXPECT_FALSE(KV::NarrowText(text, 3, narrow)) << std::hex << u;
        EXPECT_EQ(0, std::memcmp(narrow, "xxxx", 4)) << std::hex << u;
    }
}

TEST(NarrowText, BoundedLengthStopsAtNulOrLimit)
{
    const wchar_t wide[] = {L'a', L'b', L'\0', L'c'};
    EXPECT_EQ(2u, KV::BoundedLength(wide, 4));
    EXPECT_EQ(1u, KV::BoundedLength(wide, 1));
    EXPECT_EQ(0u, KV::BoundedLength(wide, 0));
    const char narrow[] = {'a', 'b', 'c'};
    EXPECT_EQ(3u, KV::BoundedLength(narrow, 3));
}

} // namespace
