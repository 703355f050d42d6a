// Listing, copy and delete of key trees on the real registry of the test
// prefix, with HKEY_LOCAL_MACHINE redirected to a scratch key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry_tree.h"
#include "tests/support/raw_registry.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/test_support.h"

namespace {

using KV::Variant;
using namespace testing_support;

class RegistryTreeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(scratch.ok()); }
    ScratchRegistry scratch;
};

std::vector<std::wstring> Sorted(std::vector<std::wstring> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Every value (type and bytes) and every subkey of two trees, compared raw.
void ExpectSameTree(const std::wstring& a, const std::wstring& b)
{
    const KeySnapshot source = TakeSnapshot(a);
    ASSERT_TRUE(source.exists) << WideToUtf8(a);
    EXPECT_EQ(L"", FirstDifference(source, TakeSnapshot(b))) << WideToUtf8(a) << " and " << WideToUtf8(b);
}

// ---- Listing ------------------------------------------------------------------

TEST_F(RegistryTreeTest, ListsSubkeysAndValuesWithTheDefaultValueAsEmptyName)
{
    ASSERT_TRUE(CreateKeyRaw(L"L\\one"));
    ASSERT_TRUE(CreateKeyRaw(L"L\\two\\deeper"));
    ASSERT_TRUE(SetValueRaw(L"L", L"", REG_SZ, WideBytes(L"default", true)));
    ASSERT_TRUE(SetValueRaw(L"L", L"named", REG_DWORD, Bytes{1, 0, 0, 0}));
    RegistryKey key(LocalMachine, L"L", false);
    ASSERT_EQ(S_OK, key.Open(true));
    NameList names{L"stale"};
    EXPECT_EQ(S_OK, key.EnumSubkeys(names));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), Sorted(names));
    names = {L"stale", L"stale", L"stale"};
    EXPECT_EQ(S_OK, key.EnumValues(names));
    EXPECT_EQ((std::vector<std::wstring>{L"", L"named"}), Sorted(names));

    RegistryKey closed(LocalMachine, L"L", false);
    EXPECT_EQ(E_FAIL, closed.EnumSubkeys(names));
    EXPECT_EQ(E_FAIL, closed.EnumValues(names));
}

// Key names of 255 characters and value names of 16,383 are valid and must
// list, copy and delete.
TEST_F(RegistryTreeTest, LongestNamesListCopyAndDelete)
{
    const std::wstring keyName(255, L'k');
    const std::wstring deeperName = std::wstring(254, L'd') + L"\u20AC";
    const std::wstring valueName(16383, L'v');
    const std::wstring longPath = L"Long\\" + keyName + L"\\" + deeperName;
    ASSERT_TRUE(CreateKeyRaw(longPath));
    ASSERT_TRUE(SetValueRaw(longPath, valueName, REG_DWORD, Bytes{7, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Long", valueName, REG_BINARY, Bytes{1, 2, 3}));

    RegistryKey source(LocalMachine, L"Long", false);
    ASSERT_EQ(S_OK, source.Open(false));
    NameList names;
    ASSERT_EQ(S_OK, source.EnumSubkeys(names));
    EXPECT_EQ((NameList{keyName}), names);
    ASSERT_EQ(S_OK, source.EnumValues(names));
    EXPECT_EQ((NameList{valueName}), names);

    RegistryKey destination(LocalMachine, L"LongCopy", false);
    ASSERT_EQ(S_OK, destination.Open(false));
    EXPECT_EQ(S_OK, CopyTree(source, destination));
    ExpectSameTree(L"Long", L"LongCopy");

    RegistryKey root(LocalMachine, L"", false);
    ASSERT_EQ(S_OK, root.Open(false));
    source.Close();
    destination.Close();
    EXPECT_EQ(S_OK, root.DeleteTree(L"Long"));
    EXPECT_EQ(S_OK, root.DeleteTree(L"LongCopy"));
    EXPECT_FALSE(KeyPresent(L"Long"));
    EXPECT_FALSE(KeyPresent(L"LongCopy"));
}

// ---- Delete -------------------------------------------------------------------

// Records each RegDeleteKeyExW call and performs it for real.
std::vector<std::pair<std::wstring, REGSAM>> g_deletes;

LONG WINAPI RecordingDeleteKeyEx(HKEY parent, LPCWSTR name, REGSAM access, DWORD reserved)
{
    g_deletes.emplace_back(name, access);
    return RegDeleteKeyExW(parent, name, access, reserved);
}

// Stand-ins for the seams of registry/registry_tree.h. This build is 64-bit,
// so WOW64 is stood in.
bool UnderWow64()
{
    return true;
}
bool NotUnderWow64()
{
    return false;
}
DeleteKeyExFn Recording()
{
    return &RecordingDeleteKeyEx;
}
DeleteKeyExFn NoDeleteKeyEx()
{
    return nullptr;
}

void MakeThreeLevels()
{
    ASSERT_TRUE(CreateKeyRaw(L"P\\Victim\\L1a\\L2\\L3"));
    ASSERT_TRUE(CreateKeyRaw(L"P\\Victim\\L1b"));
    ASSERT_TRUE(SetValueRaw(L"P\\Victim\\L1a\\L2\\L3", L"v", REG_DWORD, Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"P\\Victim", L"v", REG_SZ, WideBytes(L"x", true)));
    ASSERT_TRUE(CreateKeyRaw(L"P\\Sibling"));
}

TEST_F(RegistryTreeTest, DeleteTreeRemovesTheDeepestKeysFirst)
{
    MakeThreeLevels();
    const ScopedOverride<Wow64Question> wow64(g_registryWow64Seam, &UnderWow64);
    const ScopedOverride<DeleteKeyExLookup> recording(g_deleteKeyExSeam, &Recording);
    g_deletes.clear();
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"Victim"));
    std::vector<std::wstring> order;
    for (const auto& call : g_deletes)
        order.push_back(call.first);
    EXPECT_EQ((std::vector<std::wstring>{L"L3", L"L2", L"L1a", L"L1b", L"Victim"}), order);
    EXPECT_FALSE(KeyPresent(L"P\\Victim"));
    EXPECT_TRUE(KeyPresent(L"P\\Sibling"));
}

struct MaskCase {
    const char* name;
    Wow64Question wow64;
    bool view64;
    std::size_t exCalls; // RegDeleteKeyExW calls expected for the three-level tree
    REGSAM access;
};

class DeleteMasks : public RegistryTreeTest, public ::testing::WithParamInterface<MaskCase> {};

// Under WOW64 every key is removed with RegDeleteKeyExW in the parent's view;
// otherwise with RegDeleteKeyW.
TEST_P(DeleteMasks, PassTheViewOfTheKey)
{
    const MaskCase& c = GetParam();
    MakeThreeLevels();
    const ScopedOverride<Wow64Question> wow64(g_registryWow64Seam, c.wow64);
    const ScopedOverride<DeleteKeyExLookup> recording(g_deleteKeyExSeam, &Recording);
    g_deletes.clear();
    RegistryKey parent(LocalMachine, L"P", c.view64);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"Victim"));
    EXPECT_FALSE(KeyPresent(L"P\\Victim"));
    ASSERT_EQ(c.exCalls, g_deletes.size());
    for (const auto& call : g_deletes)
        EXPECT_EQ(c.access, call.second) << WideToUtf8(call.first);
}

INSTANTIATE_TEST_SUITE_P(Table, DeleteMasks,
                         ::testing::Values(MaskCase{"Wow64View64", &UnderWow64, true, 5, 0xF013F},
                                           MaskCase{"Wow64DefaultView", &UnderWow64, false, 5, 0xF003F},
                                           MaskCase{"NotWow64View64", &NotUnderWow64, true, 0, 0},
                                           MaskCase{"NotWow64DefaultView", &NotUnderWow64, false, 0, 0}),
                         [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

// The WOW64 branch with the RegDeleteKeyExW that AdvAPI32.dll really exports.
TEST_F(RegistryTreeTest, DeleteUnderWow64LooksUpRegDeleteKeyEx)
{
    MakeThreeLevels();
    const ScopedOverride<Wow64Question> wow64(g_registryWow64Seam, &UnderWow64);
    RegistryKey parent(LocalMachine, L"P", true);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"Victim"));
    EXPECT_FALSE(KeyPresent(L"P\\Victim"));
}

TEST_F(RegistryTreeTest, DeleteUnderWow64WithoutRegDeleteKeyExRemovesNothing)
{
    MakeThreeLevels();
    const ScopedOverride<Wow64Question> wow64(g_registryWow64Seam, &UnderWow64);
    const ScopedOverride<DeleteKeyExLookup> hidden(g_deleteKeyExSeam, &NoDeleteKeyEx);
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(E_FAIL, parent.DeleteTree(L"Victim"));
    EXPECT_TRUE(KeyPresent(L"P\\Victim\\L1a\\L2\\L3"));
    EXPECT_TRUE(KeyPresent(L"P\\Victim\\L1b"));
}

TEST_F(RegistryTreeTest, DeleteOfAMissingSubkeySucceedsAndLeavesNothing)
{
    RegistryKey parent(LocalMachine, L"P", false);
    ASSERT_EQ(S_OK, parent.Open(false));
    EXPECT_EQ(S_OK, parent.DeleteTree(L"NeverThere"));
    EXPECT_FALSE(KeyPresent(L"P\\NeverThere"));

    RegistryKey closed(LocalMachine, L"P", false);
    EXPECT_EQ(E_FAIL, closed.DeleteTree(L"NeverThere"));
}

// ---- Copy ---------------------------------------------------------------------

// Values of every registry type, some with data the value model cannot hold.
void MakeSourceOfEveryType(const std::wstring& path)
{
    const std::wstring longName(16383, L'n');
    struct Value {
        std::wstring name;
        DWORD type;
        Bytes data;
    };
    const Value values[] = {
        {L"", REG_SZ, WideBytes(L"default", true)},
        {L"sz", REG_SZ, WideBytes(L"abc", true)},
        {L"szEuro", REG_SZ, WideBytes(L"price \u20AC 5", true)},
        {L"szNoNul", REG_SZ, WideBytes(L"abc", false)},
        {L"szEmptyData", REG_SZ, Bytes{}},
        {L"szOdd", REG_SZ, Bytes{'a', 0, 'b'}},
        {L"szAfterNul", REG_SZ, WideBytes(std::wstring(L"a\0tail", 6), true)},
        {L"expand", REG_EXPAND_SZ, WideBytes(L"%SystemRoot%\\x", true)},
        {L"multi", REG_MULTI_SZ, WideBytes(std::wstring(L"one\0two\0", 8), true)},
        {L"dword", REG_DWORD, Bytes{0x78, 0x56, 0x34, 0x12}},
        {L"dwordBE", REG_DWORD_BIG_ENDIAN, Bytes{0x12, 0x34, 0x56, 0x78}},
        {L"qword", REG_QWORD, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
        {L"none", REG_NONE, Bytes{9, 8, 7}},
        {L"noneEmpty", REG_NONE, Bytes{}},
        {L"binary", REG_BINARY, Bytes{0xDE, 0xAD, 0xBE, 0xEF}},
        {L"record", REG_BINARY, Bytes{13, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0xAA, 0xBB}},
        {L"custom", 0x1234, Bytes{1}},
        {L"name \u20AC", REG_DWORD, Bytes{1, 0, 0, 0}},
        {longName, REG_QWORD, Bytes{8, 7, 6, 5, 4, 3, 2, 1}},
    };
    for (const Value& v : values)
        ASSERT_TRUE(SetValueRaw(path, v.name, v.type, v.data)) << WideToUtf8(v.name.substr(0, 20));
}

// Writes string-typed data exactly (SetValueRaw guards it) and checks that
// the registry holds these bytes: the test below means nothing otherwise.
void SetExactRaw(const std::wstring& path, const std::wstring& name, DWORD type, const Bytes& data)
{
    ASSERT_TRUE(SetValueRaw(path, name, type, data));
    ASSERT_EQ(data.size(), GetValueRaw(path, name).data.size()) << "the fixture did not store the bytes exactly";
}

// A copy used to gain a terminator that its source lacked: the copy's buffer,
// left over from a longer value read before, held zeros after the data, and
// RegSetValueExW counted the first of them in. The zero-filled value sorts
// first, so it is read first.
TEST_F(RegistryTreeTest, StringDataWithoutTerminatorIsCopiedWithoutOne)
{
    SetExactRaw(L"Src", L"a zeros", REG_BINARY, Bytes(64, 0));
    SetExactRaw(L"Src", L"b multi", REG_MULTI_SZ, WideBytes(L"one", false));
    SetExactRaw(L"Src", L"c sz", REG_SZ, WideBytes(L"abc", false));
    SetExactRaw(L"Src", L"d expand", REG_EXPAND_SZ, WideBytes(L"%x%", false));
    SetExactRaw(L"Src", L"e odd", REG_SZ, Bytes{'a', 0, 'b'});
    RegistryKey source(LocalMachine, L"Src", false);
    ASSERT_EQ(S_OK, source.Open(false));
    EXPECT_EQ(S_OK, CopyTreeTo(source, L"Dst"));
    ExpectSameTree(L"Src", L"Dst");
}

TEST_F(RegistryTreeTest, CopyOfEveryRegistryTypeIsIdenticalToItsSource)
{
    MakeSourceOfEveryType(L"Src");
    MakeSourceOfEveryType(L"Src\\child \u20AC");
    MakeSourceOfEveryType(L"Src\\child \u20AC\\" + std::wstring(255, L'g'));
    ASSERT_TRUE(CreateKeyRaw(L"Src\\empty child"));
    RegistryKey source(LocalMachine, L"Src", false);
    RegistryKey destination(LocalMachine, L"Dst", false);
    ASSERT_EQ(S_OK, source.Open(false));
    ASSERT_EQ(S_OK, destination.Open(false));
    EXPECT_EQ(S_OK, CopyTree(source, destination));
    ExpectSameTree(L"Src", L"Dst");

    // Read back through the value model, each copy gives what its source gives.
    NameList names;
    ASSERT_EQ(S_OK, source.EnumValues(names));
    for (const std::wstring& name : names) {
        Variant a, b;
        const HRESULT statusA = source.ReadValue(name, a);
        EXPECT_EQ(statusA, destination.ReadValue(name, b));
        EXPECT_EQ(a.GetType(), b.GetType());
        std::uint32_t na = 0, nb = 0;
        const auto* pa = static_cast<const std::uint8_t*>(a.GetBytes(&na));
        const auto* pb = static_cast<const std::uint8_t*>(b.GetBytes(&nb));
        EXPECT_EQ(pa ? Bytes(pa, pa + na) : Bytes(), pb ? Bytes(pb, pb + nb) : Bytes());
    }
}

TEST_F(RegistryTreeTest, CopyKeepsWhatTheDestinationHeld)
{
    ASSERT_TRUE(SetValueRaw(L"Src", L"shared", REG_DWORD, Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Src\\sub", L"inner", REG_SZ, WideBytes(L"new", true)));
    ASSERT_TRUE(SetValueRaw(L"Dst", L"shared", REG_SZ, WideBytes(L"old", true)));
    ASSERT_TRUE(SetValueRaw(L"Dst", L"own", REG_BINARY, Bytes{5}));
    ASSERT_TRUE(SetValueRaw(L"Dst\\sub", L"ownInner", REG_DWORD, Bytes{2, 0, 0, 0}));
    ASSERT_TRUE(CreateKeyRaw(L"Dst\\ownSub"));
    RegistryKey source(LocalMachine, L"Src", false);
    RegistryKey destination(LocalMachine, L"Dst", false);
    ASSERT_EQ(S_OK, source.Open(false));
    ASSERT_EQ(S_OK, destination.Open(false));
    EXPECT_EQ(S_OK, CopyTree(source, destination));

    const RawValue shared = GetValueRaw(L"Dst", L"shared");
    ASSERT_TRUE(shared.present);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), shared.type); // same name: replaced
    EXPECT_EQ((Bytes{1, 0, 0, 0}), shared.data);
    const RawValue own = GetValueRaw(L"Dst", L"own");
    ASSERT_TRUE(own.present);
    EXPECT_EQ((Bytes{5}), own.data);
    ASSERT_TRUE(GetValueRaw(L"Dst\\sub", L"ownInner").present);
    const RawValue inner = GetValueRaw(L"Dst\\sub", L"inner");
    ASSERT_TRUE(inner.present);
    EXPECT_EQ(WideBytes(L"new", true), inner.data);
    EXPECT_TRUE(KeyPresent(L"Dst\\ownSub"));
}

TEST_F(RegistryTreeTest, CopyNeedsBothKeysOpen)
{
    RegistryKey source(LocalMachine, L"Src", false);
    RegistryKey destination(LocalMachine, L"Dst", false);
    ASSERT_EQ(S_OK, source.Open(false));
    EXPECT_EQ(E_FAIL, CopyTree(source, destination));
    EXPECT_EQ(E_FAIL, CopyTree(destination, source));
    EXPECT_FALSE(KeyPresent(L"Dst"));
}

// The layer opens every key it copies with full access, so no real key can
// refuse its value listing; a seam makes the source's listing fail. It also
// shows when values are copied: each listing happens after that key's
// subkeys have arrived in the destination.
std::vector<std::wstring> g_listedKeys;
bool g_subkeysCopiedFirst = true;

bool FailTopLevelListing(const RegistryKey& key)
{
    g_listedKeys.push_back(key.path());
    if (key.path() == L"Src")
        g_subkeysCopiedFirst = g_subkeysCopiedFirst && KeyPresent(L"Dst\\a\\deep") && KeyPresent(L"Dst\\b");
    if (key.path() == L"Src\\a")
        g_subkeysCopiedFirst = g_subkeysCopiedFirst && KeyPresent(L"Dst\\a\\deep");
    return key.path() == L"Src";
}

TEST_F(RegistryTreeTest, SourceWhoseValuesCannotBeListedStillCopiesSubkeys)
{
    ASSERT_TRUE(SetValueRaw(L"Src", L"top", REG_DWORD, Bytes{1, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Src\\a", L"va", REG_DWORD, Bytes{2, 0, 0, 0}));
    ASSERT_TRUE(SetValueRaw(L"Src\\a\\deep", L"vd", REG_SZ, WideBytes(L"\u20AC", true)));
    ASSERT_TRUE(CreateKeyRaw(L"Src\\b"));
    g_listedKeys.clear();
    g_subkeysCopiedFirst = true;
    {
        const ScopedOverride<ValueListingRefusal> refusal(g_valueListingRefusalSeam, &FailTopLevelListing);
        RegistryKey source(LocalMachine, L"Src", false);
        RegistryKey destination(LocalMachine, L"Dst", false);
        ASSERT_EQ(S_OK, source.Open(false));
        ASSERT_EQ(S_OK, destination.Open(false));
        EXPECT_EQ(E_FAIL, CopyTree(source, destination));
    }

    EXPECT_TRUE(g_subkeysCopiedFirst);
    EXPECT_EQ(L"Src", g_listedKeys.back());
    EXPECT_TRUE(ValueNamesRaw(L"Dst").empty());
    ExpectSameTree(L"Src\\a", L"Dst\\a");
    EXPECT_TRUE(KeyPresent(L"Dst\\b"));
}

TEST_F(RegistryTreeTest, CopyTreeToWritesBelowLocalMachineInTheDefaultView)
{
    MakeSourceOfEveryType(L"Settings");
    ASSERT_TRUE(SetValueRaw(L"Settings\\Sub", L"x", REG_DWORD, Bytes{3, 0, 0, 0}));
    RegistryKey source(LocalMachine, L"Settings", true);
    ASSERT_EQ(S_OK, source.Open(false));
    EXPECT_EQ(S_OK, CopyTreeTo(source, L"Backup\\Settings_"));
    ASSERT_TRUE(KeyPresent(L"Backup\\Settings_", 0));
    ExpectSameTree(L"Settings", L"Backup\\Settings_");
}

} // namespace
