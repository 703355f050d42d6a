#include <gtest/gtest.h>

#include <vector>

#include "framework/unique_handle.h"

namespace {

// A close function that records what it was given and spoils the last error,
// as a failing CloseHandle would.
std::vector<HANDLE> g_closed;
BOOL WINAPI RecordingClose(HANDLE handle)
{
    g_closed.push_back(handle);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

HANDLE Fake(std::intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

// The kinds of framework/unique_handle.h, with the recording close function.
using NullKind = UniqueHandle<HANDLE, &RecordingClose>;
using InvalidKind = UniqueHandle<HANDLE, &RecordingClose, kInvalidHandleValue, 0>;

// Each test starts with an empty record of closes.
template <typename Base> class Recorded : public Base {
  protected:
    void SetUp() override { g_closed.clear(); }
};
using UniqueHandleTest = Recorded<::testing::Test>;

struct NoneCase {
    std::intptr_t value;
    bool nullKindValid;
    bool invalidKindValid;
};

class NoHandleValues : public Recorded<::testing::TestWithParam<NoneCase>> {};

TEST_P(NoHandleValues, AreNeverClosed)
{
    const NoneCase& c = GetParam();
    {
        NullKind a(Fake(c.value));
        InvalidKind b(Fake(c.value));
        EXPECT_EQ(c.nullKindValid, a.valid());
        EXPECT_EQ(c.invalidKindValid, b.valid());
    }
    const size_t expectedCloses = (c.nullKindValid ? 1 : 0) + (c.invalidKindValid ? 1 : 0);
    EXPECT_EQ(expectedCloses, g_closed.size());
}

// A snapshot or a file fails with INVALID_HANDLE_VALUE, and a null handle is
// no file either; a process or a mutex fails with null.
INSTANTIATE_TEST_SUITE_P(Table, NoHandleValues,
                         ::testing::Values(NoneCase{0, false, false}, NoneCase{-1, true, false},
                                           NoneCase{0x44, true, true}));

TEST_F(UniqueHandleTest, EmptyOwnersHoldTheirOwnNoHandleValue)
{
    EXPECT_EQ(nullptr, NullKind().get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, InvalidKind().get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, UniqueFileHandle().get());
    EXPECT_EQ(INVALID_HANDLE_VALUE, UniqueSnapshotHandle().get());
    EXPECT_EQ(nullptr, UniqueHkey().get());
}

TEST_F(UniqueHandleTest, ResetClosesOnceAndKeepsTheCallersLastError)
{
    NullKind owner(Fake(0x10));
    SetLastError(ERROR_FILE_NOT_FOUND);
    owner.reset(Fake(0x20));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_EQ(1u, g_closed.size());
    EXPECT_EQ(Fake(0x10), g_closed[0]);
    SetLastError(ERROR_ACCESS_DENIED);
    owner.reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    ASSERT_EQ(2u, g_closed.size());
    EXPECT_EQ(Fake(0x20), g_closed[1]);
    EXPECT_FALSE(owner.valid());
}

TEST_F(UniqueHandleTest, ReleaseGivesUpOwnershipWithoutClosing)
{
    InvalidKind owner(Fake(0x30));
    EXPECT_EQ(Fake(0x30), owner.release());
    EXPECT_EQ(INVALID_HANDLE_VALUE, owner.get());
    owner.reset();
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandleTest, MovingHandsOverTheHandleAndClosesWhatTheTargetHeld)
{
    NullKind from(Fake(0x40));
    NullKind to(Fake(0x50));
    to = std::move(from);
    EXPECT_EQ(Fake(0x40), to.get());
    EXPECT_FALSE(from.valid());
    ASSERT_EQ(1u, g_closed.size());
    EXPECT_EQ(Fake(0x50), g_closed[0]);
}

TEST_F(UniqueHandleTest, PutClosesTheOldHandleAndHandsOutTheEmptySlot)
{
    NullKind owner(Fake(0x60));
    HANDLE* slot = owner.put();
    ASSERT_EQ(1u, g_closed.size());
    EXPECT_EQ(nullptr, *slot);
    *slot = Fake(0x70);
    EXPECT_EQ(Fake(0x70), owner.get());
}

// A kind whose functions may leave anything in a failed out-parameter, as the
// registry's do (UniqueHkey): the owner takes the slot's value only from a
// call that succeeded, and never closes what a failed one left there.
constexpr bool StatusSucceeded(LONG status)
{
    return status == ERROR_SUCCESS;
}
using StatusKind = UniqueHandle<HANDLE, &RecordingClose, 0, 0, &StatusSucceeded>;

struct ReceiveCase {
    const char* story;
    LONG status; // what the call returns, after writing 0x90 into the slot
    bool kept;
};

class Receive : public Recorded<::testing::TestWithParam<ReceiveCase>> {};

TEST_P(Receive, TakesTheSlotOnlyFromACallThatSucceeded)
{
    const ReceiveCase& c = GetParam();
    {
        StatusKind owner(Fake(0x80));
        HANDLE offered = Fake(0x1);
        const LONG result = owner.receive([&](HANDLE* slot) {
            offered = *slot;
            *slot = Fake(0x90);
            return c.status;
        });
        EXPECT_EQ(c.status, result);
        EXPECT_EQ(nullptr, offered) << "the slot handed to the call is empty";
        ASSERT_EQ(1u, g_closed.size()) << "the handle held before is closed first";
        EXPECT_EQ(Fake(0x80), g_closed[0]);
        EXPECT_EQ(c.kept, owner.valid()) << c.story;
    }
    const std::vector<HANDLE> expected =
        c.kept ? std::vector<HANDLE>{Fake(0x80), Fake(0x90)} : std::vector<HANDLE>{Fake(0x80)};
    EXPECT_EQ(expected, g_closed) << c.story;
}

INSTANTIATE_TEST_SUITE_P(Table, Receive,
                         ::testing::Values(ReceiveCase{"a success", ERROR_SUCCESS, true},
                                           ReceiveCase{"a missing key", ERROR_FILE_NOT_FOUND, false},
                                           ReceiveCase{"access denied", ERROR_ACCESS_DENIED, false},
                                           ReceiveCase{"more data", ERROR_MORE_DATA, false}));

DWORD WINAPI TryAcquire(void* mutex)
{
    return WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
}

TEST(UniqueMutexOwnership, ReleasesTheMutexItAcquired)
{
    UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    ASSERT_TRUE(mutex);
    {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex.get(), 0));
        UniqueMutexOwnership ownership(mutex.get());
    }
    // Released: a wait from another thread acquires it at once.
    HANDLE thread = CreateThread(nullptr, 0, &TryAcquire, mutex.get(), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    UniqueKernelHandle threadOwner(thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD result = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &result));
    EXPECT_EQ(WAIT_OBJECT_0, result);
}

// The kinds whose handles are integers (CryptoAPI's): 0 is none, and a real
// hash goes away with its owner, before the provider's.
TEST(UniqueCryptHandles, IntegerHandlesHaveOwnersToo)
{
    UniqueCryptProvider provider;
    EXPECT_FALSE(provider.valid());
    EXPECT_EQ(0u, provider.get());
    ASSERT_TRUE(CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
    EXPECT_TRUE(provider.valid());
    HCRYPTHASH raw = 0;
    {
        UniqueCryptHash hash;
        ASSERT_TRUE(CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put()));
        raw = hash.get();
        EXPECT_NE(0u, raw);
        SetLastError(ERROR_PATH_NOT_FOUND);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError()) << "closing changed the last error";
    UniqueCryptProvider moved(std::move(provider));
    EXPECT_FALSE(provider.valid());
    EXPECT_TRUE(moved.valid());
}

} // namespace
