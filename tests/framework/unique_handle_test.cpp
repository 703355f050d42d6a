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

class UniqueHandleTest : public ::testing::Test {
  protected:
    void SetUp() override { g_closed.clear(); }
};

struct NoneCase {
    std::intptr_t value;
    bool nullKindValid;
    bool invalidKindValid;
};

class NoHandleValues : public ::testing::TestWithParam<NoneCase> {
  protected:
    void SetUp() override { g_closed.clear(); }
};

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
