#include "launcher/single_run.h"

#include <sddl.h>

#include "framework/run_log.h"
#include "launcher/product_constants.h"

namespace {

// Creates the mutex with the launcher's descriptor, or opens the existing one.
LockOpening CreateLockMutex(bool withOwner, UniqueKernelHandle& mutex, DWORD& error)
{
    PSECURITY_DESCRIPTOR built = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(SingleRunLockSddl(withOwner), SDDL_REVISION_1, &built,
                                                              nullptr)) {
        error = GetLastError();
        return LockOpening::Failed;
    }
    const UniqueLocalMemory descriptor(built);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    SetLastError(ERROR_SUCCESS);
    mutex.reset(CreateMutexW(&attributes, FALSE, product::kSingleRunMutex));
    error = GetLastError();
    if (mutex)
        return error == ERROR_ALREADY_EXISTS ? LockOpening::OpenedExisting : LockOpening::Created;
    return error == ERROR_ACCESS_DENIED ? LockOpening::AccessDenied : LockOpening::Failed;
}

} // namespace

LockVerdict JudgeLock(LockOpening opening, OwnerKind owner)
{
    switch (opening) {
    case LockOpening::Created:
        return LockVerdict::Launchers;
    case LockOpening::OpenedExisting:
        return owner == OwnerKind::Administrators || owner == OwnerKind::System ? LockVerdict::Launchers
                                                                                : LockVerdict::NotALauncher;
    case LockOpening::AccessDenied:
        return LockVerdict::NotALauncher;
    case LockOpening::Failed:
    default:
        return LockVerdict::Unavailable;
    }
}

const wchar_t* SingleRunLockSddl(bool withOwner)
{
    // One text: without its owner part ("O:BA") it is the DACL alone.
    static const wchar_t kSddl[] = L"O:BAD:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)";
    return withOwner ? kSddl : kSddl + 4;
}

bool SingleRunLock::TryAcquire()
{
    // Owner Administrators by name: an elevated administrator's default owner
    // is its own account where policy says "object creator", and other
    // launchers would then not know the lock for a launcher's. A token that
    // may not name that owner (SYSTEM names it; this is a fallback) gets its
    // default owner, SYSTEM or Administrators for any token that may run us.
    DWORD error = 0;
    LockOpening opening = CreateLockMutex(true, m_mutex, error);
    if (opening == LockOpening::Failed && error == ERROR_INVALID_OWNER)
        opening = CreateLockMutex(false, m_mutex, error);
    OwnerKind owner = OwnerKind::Unknown;
    if (opening == LockOpening::OpenedExisting)
        QueryOwnerKind(m_mutex.get(), SE_KERNEL_OBJECT, owner);

    const LockVerdict verdict = JudgeLock(opening, owner);
    const DWORD wait = verdict == LockVerdict::Launchers ? WaitForSingleObject(m_mutex.get(), 0) : WAIT_FAILED;
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        m_ownership.reset(m_mutex.get());
        LogLine(L"Lock: held");
        return true;
    }
    m_mutex.reset();
    if (wait == WAIT_TIMEOUT) {
        LogLine(L"Lock: another launcher holds it");
        return false;
    }
    // Another account's object, no lock to be had, or a failed wait: the run
    // goes on unguarded rather than refuse for ever.
    LogLine(verdict == LockVerdict::NotALauncher ? L"Lock: another account's object, none taken"
                                                 : L"Lock: none to be had, none taken");
    return true;
}
