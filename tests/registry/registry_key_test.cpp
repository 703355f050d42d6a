// RegistryKey and KeyExists on the real registry of the test prefix, with
// HKEY_LOCAL_MACHINE redirected to a scratch key.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "registry/registry_key.h"
#include "tests/support/raw_registry.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_support.h"
#include "tests/support/value_records.h"

namespace {

using KV::Variant;
using namespace testing_support;

class RegistryKeyTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(scratch.ok()); }
    ScratchRegistry scratch;
};

Bytes PayloadOf(const Variant& v)
{
    std::uint32_t n = 0;
    const auto* p = static_cast<const std::uint8_t*>(v.GetBytes(&n));
    return p ? Bytes(p, p + n) : Bytes();
}

TEST_F(RegistryKeyTest, OpenReadOnlyOnMissingKeyFailsAndCreatesNothing)
{
    RegistryKey key(LocalMachine, L"Missing\\Deeper", false);
    EXPECT_EQ(E_FAIL, key.Open(true));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(KeyPresent(L"Missing"));
}

TEST_F(RegistryKeyTest, OpenWithCreateMakesEveryParent)
{
    RegistryKey key(LocalMachine, L"A\\B\\C", false);
    EXPECT_EQ(S_OK, key.Open(false));
    EXPECT_TRUE(KeyPresent(L"A"));
    EXPECT_TRUE(KeyPresent(L"A\\B\\C"));
}

TEST_F(RegistryKeyTest, SecondOpenGivesSFalseAndKeepsTheFirstAccess)
{
    ASSERT_TRUE(CreateKeyRaw(L"K"));
    RegistryKey reader(LocalMachine, L"K", false);
    ASSERT_EQ(S_OK, reader.Open(true));
    EXPECT_EQ(S_FALSE, reader.Open(false));
    EXPECT_LT(reader.WriteValue(L"v", Variant(true)), 0); // still read-only

    RegistryKey writer(LocalMachine, L"K", false);
    ASSERT_EQ(S_OK, writer.Open(false));
    EXPECT_EQ(S_FALSE, writer.Open(true));
    EXPECT_EQ(13, writer.WriteValue(L"v", Variant(true)));
}

TEST_F(RegistryKeyTest, UnknownRootAndClosedHandleFail)
{
    RegistryKey bad(static_cast<RootKey>(4), L"K", false);
    EXPECT_EQ(E_FAIL, bad.Open(false));

    ASSERT_TRUE(SetValueRaw(L"K", L"v", REG_DWORD, Bytes{1, 0, 0, 0}));
    RegistryKey key(LocalMachine, L"K", false);
    Variant value(true);
    EXPECT_EQ(E_FAIL, key.ReadValue(L"v", value));
    EXPECT_EQ(Variant::Empty, value.GetType());
    EXPECT_EQ(E_FAIL, key.WriteValue(L"w", Variant(true)));
    ASSERT_EQ(S_OK, key.Open(true));
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(E_FAIL, key.ReadValue(L"v", value));
}

TEST_F(RegistryKeyTest, ViewFlagOpensTheSameKeyInA64BitProcess)
{
    ASSERT_TRUE(CreateKeyRaw(L"Viewed"));
    RegistryKey key(LocalMachine, L"Viewed", true);
    EXPECT_EQ(S_OK, key.Open(true));
    EXPECT_TRUE(KeyExists(L"Viewed", true));
    EXPECT_TRUE(KeyExists(L"Viewed", false));
    EXPECT_FALSE(KeyExists(L"NotThere", false));
    EXPECT_FALSE(KeyPresent(L"NotThere"));
}

// ---- ReadValue: REG_SZ ------------------------------------------------------

struct TextCase {
    const char* name;
    Bytes data; // raw REG_SZ data
    HRESULT status;
    const char* text; // expected Text when status is S_OK
};

class ReadText : public RegistryKeyTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ReadText, GivesIso88591TextOrFails)
{
    const TextCase& c = GetParam();
    ASSERT_TRUE(SetValueRaw(L"T", L"s", REG_SZ, c.data));
    RegistryKey key(LocalMachine, L"T", false);
    ASSERT_EQ(S_OK, key.Open(true));
    Variant value(static_cast<std::int64_t>(7));
    EXPECT_EQ(c.status, key.ReadValue(L"s", value));
    if (c.status == S_OK) {
        ASSERT_EQ(Variant::Text, value.GetType());
        EXPECT_STREQ(c.text, value.GetText());
        EXPECT_EQ(std::strlen(c.text) + 1, value.GetSize());
    } else {
        EXPECT_EQ(Variant::Empty, value.GetType());
    }
}

INSTANTIATE_TEST_SUITE_P(
    RegSz, ReadText,
    ::testing::Values(TextCase{"Abc", WideBytes(L"abc", true), S_OK, "abc"},
                      TextCase{"Empty", WideBytes(L"", true), S_OK, ""},
                      TextCase{"LatinSmallEAcute", WideBytes(L"\u00E9", true), S_OK, "\xE9"},
                      TextCase{"AllOfLatin1Top", WideBytes(L"\u00A0\u00FF", true), S_OK, "\xA0\xFF"},
                      TextCase{"EuroSignFails", WideBytes(L"\u20AC", true), E_FAIL, nullptr},
                      TextCase{"EuroAfterNulIsNotRead", WideBytes(std::wstring(L"ab\0\u20AC", 4), true), S_OK, "ab"},
                      TextCase{"SurrogatePairFails", WideBytes(L"\U0001F600", true), E_FAIL, nullptr},
                      // Data without any NUL is taken whole, and nothing past it.
                      TextCase{"WithoutNul", WideBytes(L"abc", false), S_OK, "abc"},
                      TextCase{"SizeZero", Bytes{}, S_OK, ""},
                      TextCase{"OddLastByteIgnored", Bytes{'a', 0, 'b', 0, 'c'}, S_OK, "ab"},
                      TextCase{"UpToFirstNul", WideBytes(std::wstring(L"ab\0cd", 5), true), S_OK, "ab"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

// ---- ReadValue: other registry types -----------------------------------------

struct OtherCase {
    const char* name;
    DWORD type;
    Bytes data;
    Variant::Type kind;
    Bytes payload;
};

class ReadOther : public RegistryKeyTest, public ::testing::WithParamInterface<OtherCase> {};

TEST_P(ReadOther, DecodesRecordsAndReadsAnythingElseAsEmpty)
{
    const OtherCase& c = GetParam();
    ASSERT_TRUE(SetValueRaw(L"T", L"v", c.type, c.data));
    RegistryKey key(LocalMachine, L"T", false);
    ASSERT_EQ(S_OK, key.Open(true));
    Variant value(true);
    EXPECT_EQ(S_OK, key.ReadValue(L"v", value));
    EXPECT_EQ(c.kind, value.GetType());
    EXPECT_EQ(c.payload, PayloadOf(value));
}

INSTANTIATE_TEST_SUITE_P(
    Types, ReadOther,
    ::testing::Values(
        OtherCase{"Dword", REG_DWORD, Bytes{5, 0, 0, 0}, Variant::Empty, {}},
        OtherCase{"Qword", REG_QWORD, Bytes{5, 0, 0, 0, 0, 0, 0, 0}, Variant::Empty, {}},
        OtherCase{"BinaryNotARecord", REG_BINARY, Bytes{1, 2, 3}, Variant::Empty, {}},
        OtherCase{"BinaryReservedNotZero", REG_BINARY, Bytes{12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, Variant::Empty, {}},
        OtherCase{"BinaryEmpty", REG_BINARY, Bytes{}, Variant::Empty, {}},
        OtherCase{"BinaryRecord", REG_BINARY, kBoolTrueRecord, Variant::Bool, {1}},
        OtherCase{"NoneHoldingARecord", REG_NONE, kBoolTrueRecord, Variant::Bool, {1}},
        OtherCase{"MultiSz", REG_MULTI_SZ, WideBytes(std::wstring(L"a\0b\0", 4), true), Variant::Empty, {}}),
    [](const ::testing::TestParamInfo<OtherCase>& info) { return std::string(info.param.name); });

TEST_F(RegistryKeyTest, MissingValueFails)
{
    ASSERT_TRUE(CreateKeyRaw(L"T"));
    RegistryKey key(LocalMachine, L"T", false);
    ASSERT_EQ(S_OK, key.Open(true));
    Variant value(true);
    EXPECT_EQ(E_FAIL, key.ReadValue(L"absent", value));
    EXPECT_EQ(Variant::Empty, value.GetType());
}

// Memory that cannot be had for the value read fails the read.
class StarvedVariant : public Variant {
  public:
    void* Allocate(std::size_t) noexcept override { return nullptr; }
};

TEST_F(RegistryKeyTest, ReadWithoutMemoryFails)
{
    ASSERT_TRUE(SetValueRaw(L"T", L"s", REG_SZ, WideBytes(L"abc", true)));
    ASSERT_TRUE(SetValueRaw(L"T", L"b", REG_BINARY, Bytes{14, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 1, 2}));
    RegistryKey key(LocalMachine, L"T", false);
    ASSERT_EQ(S_OK, key.Open(true));
    StarvedVariant value;
    EXPECT_EQ(E_FAIL, key.ReadValue(L"s", value));
    EXPECT_EQ(Variant::Empty, value.GetType());
    EXPECT_EQ(E_FAIL, key.ReadValue(L"b", value));
    EXPECT_EQ(Variant::Empty, value.GetType());
}

// ---- WriteValue ---------------------------------------------------------------

struct WriteCase {
    const char* name;
    void (*make)(Variant&);
    HRESULT result;
    DWORD type;
    Bytes stored;
};

class WriteValue : public RegistryKeyTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteValue, StoresTheRecordOrText)
{
    const WriteCase& c = GetParam();
    // A value of another type and name is there first: it is replaced.
    ASSERT_TRUE(SetValueRaw(L"W", L"v", REG_DWORD, Bytes{9, 9, 9, 9}));
    RegistryKey key(LocalMachine, L"W", false);
    ASSERT_EQ(S_OK, key.Open(false));
    Variant value;
    c.make(value);
    EXPECT_EQ(c.result, key.WriteValue(L"v", value));
    const RawValue stored = GetValueRaw(L"W", L"v");
    ASSERT_TRUE(stored.present);
    EXPECT_EQ(c.type, stored.type);
    EXPECT_EQ(c.stored, stored.data);
}

const std::uint8_t kAbc[] = {'a', 'b', 'c'};

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriteValue,
    ::testing::Values(WriteCase{"BoolFalse", [](Variant& v) { v.SetTyped(Variant::Bool, "\0", 1); }, 13, REG_BINARY,
                                kBoolFalseRecord},
                      WriteCase{"Int64One", [](Variant& v) { v.SetTyped(Variant::Int64, "\1\0\0\0\0\0\0\0", 8); }, 20,
                                REG_BINARY, Bytes{20, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
                      WriteCase{"Empty", [](Variant&) {}, 12, REG_BINARY, Bytes{12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
                      WriteCase{"BorrowedArray", [](Variant& v) { v.SetBorrowedArray(kAbc, 3); }, 15, REG_BINARY,
                                Bytes{15, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 'a', 'b', 'c'}},
                      WriteCase{"EmptyText", [](Variant& v) { v.SetText(""); }, S_OK, REG_SZ, Bytes{0, 0}},
                      WriteCase{"Latin1Text", [](Variant& v) { v.SetText("a\xE9"); }, S_OK, REG_SZ,
                                Bytes{'a', 0, 0xE9, 0, 0, 0}},
                      // Nothing is written for a value that does not serialize.
                      WriteCase{"EmptyBorrowedBlockFails", [](Variant& v) { v.SetBorrowedBlock(kAbc, 0); }, E_FAIL,
                                REG_DWORD, Bytes{9, 9, 9, 9}}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// A value written by WriteValue reads back with the same kind and payload.
TEST_F(RegistryKeyTest, WriteThenReadRoundTrip)
{
    RegistryKey key(LocalMachine, L"R", false);
    ASSERT_EQ(S_OK, key.Open(false));
    const std::uint8_t raw[] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        std::uint32_t code;
        std::uint32_t size;
        Variant::Type back;
    };
    for (Case c : {Case{Variant::Empty, 0, Variant::Empty}, Case{Variant::Bool, 1, Variant::Bool},
                   Case{Variant::Int32, 4, Variant::Int32}, Case{Variant::Int64, 8, Variant::Int64},
                   Case{Variant::Float, 4, Variant::Float}, Case{Variant::Double, 8, Variant::Double},
                   Case{Variant::BorrowedArray, 8, Variant::Bytes}, Case{Variant::BorrowedBlock, 8, Variant::Bytes},
                   Case{Variant::Bytes, 8, Variant::Bytes}, Case{Variant::Bytes, 0, Variant::Empty},
                   Case{Variant::Text, 6, Variant::Text}, Case{Variant::Blob, 8, Variant::Blob}}) {
        Variant value;
        if (c.code == Variant::BorrowedArray)
            value.SetBorrowedArray(raw, c.size);
        else if (c.code == Variant::BorrowedBlock)
            value.SetBorrowedBlock(raw, c.size);
        else if (c.code == Variant::Text)
            value.SetText("t\xE9xt\xFF");
        else
            value.SetTyped(c.code, raw, c.size);
        ASSERT_GE(key.WriteValue(L"rt", value), 0) << c.code;
        Variant back(true);
        ASSERT_EQ(S_OK, key.ReadValue(L"rt", back)) << c.code;
        EXPECT_EQ(c.back, back.GetType()) << c.code;
        if (c.back != Variant::Empty) {
            EXPECT_EQ(PayloadOf(value), PayloadOf(back)) << c.code;
        }
    }
}

// ---- A value that grows while it is read ---------------------------------------

struct GrowthShared {
    std::atomic<bool> stop{false};
    std::atomic<long> writes{0};
};

Bytes BytesRecord(std::uint8_t fill, std::size_t n)
{
    Variant v;
    Bytes payload(n, fill);
    v.SetBytes(payload.data(), static_cast<std::uint32_t>(n));
    Bytes out(n + 12);
    v.Serialize(out.data(), static_cast<std::uint32_t>(out.size()));
    return out;
}

DWORD WINAPI RewriteForever(void* param)
{
    auto* shared = static_cast<GrowthShared*>(param);
    const Bytes small = BytesRecord(0x11, 4);
    const Bytes large = BytesRecord(0x22, 4000);
    UniqueHkey key;
    if (key.receive([](HKEY* slot) { return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"G", 0, KEY_SET_VALUE, slot); }) !=
        ERROR_SUCCESS)
        return 1;
    while (!shared->stop) {
        const Bytes& next = (shared->writes % 2) ? large : small;
        RegSetValueExW(key.get(), L"v", 0, REG_BINARY, next.data(), static_cast<DWORD>(next.size()));
        ++shared->writes;
    }
    return 0;
}

// Another writer switches the value between a short and a long record. Every
// read must give one of the two whole values or fail; a silently truncated
// read would show up as an Empty value with S_OK.
TEST_F(RegistryKeyTest, ValueGrowingDuringReadIsNeverTruncated)
{
    ASSERT_TRUE(SetValueRaw(L"G", L"v", REG_BINARY, BytesRecord(0x11, 4)));
    GrowthShared shared;
    const UniqueKernelHandle writer(CreateThread(nullptr, 0, RewriteForever, &shared, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    // The writer is stopped on every way out, a failed assertion included:
    // it must not outlive `shared`.
    struct StopWriter {
        GrowthShared& shared;
        HANDLE thread;
        ~StopWriter()
        {
            shared.stop = true;
            WaitForSingleObject(thread, INFINITE);
        }
    } stopWriter{shared, writer.get()};
    RegistryKey key(LocalMachine, L"G", false);
    ASSERT_EQ(S_OK, key.Open(true));
    int whole = 0;
    for (int i = 0; i < 3000; ++i) {
        Variant value;
        if (key.ReadValue(L"v", value) != S_OK)
            continue; // failing cleanly is allowed
        ASSERT_EQ(Variant::Bytes, value.GetType()) << "read " << i;
        const Bytes payload = PayloadOf(value);
        const bool isSmall = payload == Bytes(4, 0x11);
        const bool isLarge = payload == Bytes(4000, 0x22);
        ASSERT_TRUE(isSmall || isLarge) << "read " << i << " size " << payload.size();
        ++whole;
    }
    shared.stop = true;
    WaitForSingleObject(writer.get(), INFINITE);
    EXPECT_GT(whole, 0);
    EXPECT_GT(shared.writes.load(), 1);
}

} // namespace
