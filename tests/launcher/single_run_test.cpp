// The single-run lock in the test process: how it tells a launcher's lock
// from an object of its name that another account made first, and that a
// launcher holding it still keeps the next one out. Wine keeps and enforces
// the security of named mutexes (docs/WINE.md), so the objects here are real;
// every process of a prefix has the same token, and Wine accepts any owner in
// a descriptor, which is how a "foreign" owner is made.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "framework/unique_handle.h"
#include "launcher/product_constants.h"
#include "launcher/single_run.h"

namespace {

struct JudgeCase {
    const char* story;
    LockOpening opening;
    OwnerKind owner;
    LockVerdict verdict;
};

class Judge : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(Judge, TellsALaunchersLockFromAnotherAccountsObject)
{
    EXPECT_EQ(GetParam().verdict, JudgeLock(GetParam().opening, GetParam().owner)) << GetParam().story;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Judge,
    ::testing::Values(
        JudgeCase{"made by this launcher", LockOpening::Created, OwnerKind::Unknown, LockVerdict::Launchers},
        JudgeCase{"made by this launcher, whatever the owner says", LockOpening::Created, OwnerKind::Other,
                  LockVerdict::Launchers},
        JudgeCase{"an elevated launcher's", LockOpening::OpenedExisting, OwnerKind::Administrators,
                  LockVerdict::Launchers},
        JudgeCase{"a launcher's under SYSTEM", LockOpening::OpenedExisting, OwnerKind::System, LockVerdict::Launchers},
        JudgeCase{"a standard user's object", LockOpening::OpenedExisting, OwnerKind::Other, LockVerdict::NotALauncher},
        JudgeCase{"TrustedInstaller never runs a launcher", LockOpening::OpenedExisting, OwnerKind::TrustedInstaller,
                  LockVerdict::NotALauncher},
        JudgeCase{"an owner that cannot be read", LockOpening::OpenedExisting, OwnerKind::Unknown,
                  LockVerdict::NotALauncher},
        JudgeCase{"refuses Administrators and SYSTEM: no launcher's", LockOpening::AccessDenied,
                  OwnerKind::Administrators, LockVerdict::NotALauncher},
        JudgeCase{"no mutex to be had", LockOpening::Failed, OwnerKind::Administrators, LockVerdict::Unavailable}));

// The owner and DACL of the mutex behind `mutex`, as SDDL.
std::wstring OwnerAndDacl(HANDLE mutex)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"(no descriptor)";
    const UniqueLocalMemory owned(descriptor);
    LPWSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr))
        return L"(no text)";
    const UniqueLocalMemory ownedText(text);
    return text;
}

// A mutex of the lock's name, made by the test with `sddl` as an account
// other than the launcher's would make it.
UniqueKernelHandle MakeObjectOfTheName(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR built = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &built, nullptr))
        return UniqueKernelHandle();
    const UniqueLocalMemory descriptor(built);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    return UniqueKernelHandle(CreateMutexW(&attributes, FALSE, product::kSingleRunMutex));
}

// Holds a SingleRunLock (or waits on `mutex`) on a thread of its own until
// it goes away: mutexes belong to threads, so the test's own thread then
// meets a lock that someone else holds.
class LockOnOtherThread {
  public:
    explicit LockOnOtherThread(HANDLE mutex = nullptr) : m_mutex(mutex)
    {
        m_thread.reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
        WaitForSingleObject(m_taken.get(), 10000);
    }
    ~LockOnOtherThread()
    {
        SetEvent(m_release.get());
        WaitForSingleObject(m_thread.get(), 10000);
    }
    LockOnOtherThread(const LockOnOtherThread&) = delete;
    LockOnOtherThread& operator=(const LockOnOtherThread&) = delete;
    bool held() const { return m_held; }

  private:
    static DWORD WINAPI Run(void* self)
    {
        auto* me = static_cast<LockOnOtherThread*>(self);
        SingleRunLock lock;
        if (me->m_mutex)
            me->m_held = WaitForSingleObject(me->m_mutex, 0) == WAIT_OBJECT_0;
        else
            me->m_held = lock.TryAcquire() && lock.held();
        SetEvent(me->m_taken.get());
        WaitForSingleObject(me->m_release.get(), 30000);
        if (me->m_mutex && me->m_held)
            ReleaseMutex(me->m_mutex);
        return 0;
    }
    HANDLE m_mutex;
    bool m_held = false;
    UniqueKernelHandle m_taken{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueKernelHandle m_release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueKernelHandle m_thread;
};

TEST(SingleRunLock, ALaunchersLockIsOwnedByAdministratorsAndLetsInOnlyThemAndSystem)
{
    EXPECT_STREQ(L"O:BAD:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)", SingleRunLockSddl(true));
    EXPECT_STREQ(L"D:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)", SingleRunLockSddl(false));
    SingleRunLock lock;
    ASSERT_TRUE(lock.TryAcquire());
    ASSERT_TRUE(lock.held());
    UniqueKernelHandle mutex(OpenMutexW(READ_CONTROL, FALSE, product::kSingleRunMutex));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(L"O:BAD:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)", OwnerAndDacl(mutex.get()));
}

TEST(SingleRunLock, ALauncherHoldingTheLockKeepsTheNextOneOut)
{
    LockOnOtherThread first;
    ASSERT_TRUE(first.held());
    SingleRunLock second;
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.held());
}

TEST(SingleRunLock, AnObjectOfTheNameThatRefusesEveryoneDoesNotBlockTheRun)
{
    const UniqueKernelHandle squatter = MakeObjectOfTheName(L"D:(D;;GA;;;WD)");
    ASSERT_TRUE(squatter);
    SingleRunLock lock;
    EXPECT_TRUE(lock.TryAcquire()) << "a deny-all object made the run refuse";
    EXPECT_FALSE(lock.held());
}

TEST(SingleRunLock, AnotherAccountsObjectHeldByItDoesNotBlockTheRun)
{
    // Owned by a standard user's SID, open to everyone, and held.
    const UniqueKernelHandle squatter = MakeObjectOfTheName(L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)");
    ASSERT_TRUE(squatter);
    LockOnOtherThread holder(squatter.get());
    ASSERT_TRUE(holder.held());
    SingleRunLock lock;
    EXPECT_TRUE(lock.TryAcquire()) << "a standard user's object made the run refuse";
    EXPECT_FALSE(lock.held());
}

} // namespace
