#pragma once
// One launcher at a time on a machine. Two runs side by side would share the
// installers folder, the package file and the settings backup key: the first
// run's removal of the backup would strip the second run's installation of its
// copy, and the second run's package write would fail or replace the package
// that the first run's Windows Installer is reading.
//
// The lock is a mutex in the Global namespace, so that a deployment service in
// session 0 and a signed-in user's run exclude each other. Any account may
// create an object of that name first, so the launcher's own mutex is made so
// that it can be told apart: owned by Administrators (or SYSTEM) and opened
// only by them. An object of the name that another account made is not a
// launcher's lock: it must not make every run refuse for ever.
#include <windows.h>

#include "framework/object_owner.h"
#include "framework/unique_handle.h"

// What creating or opening the lock's name gave.
enum class LockOpening {
    Created,        // a new mutex, made by this process
    OpenedExisting, // a mutex of the name existed and this process could open it
    AccessDenied,   // an object of the name exists and refuses this process
    Failed,         // anything else (no mutex could be had: another object type, no memory)
};

// What the launcher makes of it.
enum class LockVerdict {
    Launchers,    // a launcher's lock: take it, or refuse while another launcher holds it
    NotALauncher, // an object some other account made: run without the lock
    Unavailable,  // no lock to be had: run without it
};

// The verdict for a lock that came out as `opening`, with `owner` the owner
// of an existing mutex (not looked at otherwise):
//   Created                                      -> Launchers
//   OpenedExisting, Administrators or System     -> Launchers
//   OpenedExisting, any other owner or Unknown   -> NotALauncher
//   AccessDenied                                 -> NotALauncher
//   Failed                                       -> Unavailable
// A launcher's lock lets Administrators and SYSTEM in, and the launcher runs
// as one of them (its manifest asks for elevation), so a refusal means that
// someone else made the object. Only an administrator or SYSTEM can make an
// object owned by Administrators or SYSTEM. (A launcher that runs without
// administrator rights after all, where elevation is switched off, is refused
// by a real lock too and runs unguarded; it cannot change the machine's
// keys and folders that the lock guards.)
LockVerdict JudgeLock(LockOpening opening, OwnerKind owner);

// The lock's descriptor as SDDL: owner Administrators (`withOwner`, else the
// creator's default owner), and a protected DACL granting all access to a
// mutex (MUTEX_ALL_ACCESS, 0x1F0001) to Administrators and SYSTEM only:
// "O:BAD:P(A;;0x1f0001;;;BA)(A;;0x1f0001;;;SY)".
const wchar_t* SingleRunLockSddl(bool withOwner);

class SingleRunLock {
  public:
    // Releases the lock, if this object holds it, when it goes away.
    SingleRunLock() = default;
    SingleRunLock(const SingleRunLock&) = delete;
    SingleRunLock& operator=(const SingleRunLock&) = delete;

    // Takes the machine-wide lock named product::kSingleRunMutex without
    // waiting. Returns false only when another launcher holds it; then nothing
    // is held. Returns true when the lock is now held, and also when there is
    // no launcher's lock to take (the name is another account's object, or no
    // lock could be made at all): the run then goes on unguarded, as it would
    // without this lock. A lock left by a launcher that was killed counts as
    // free: that run's backup key is merged and removed by this run. Writes
    // one line to the run log saying which it was.
    bool TryAcquire();

    // True while this object holds the lock.
    bool held() const { return m_ownership.valid(); }

  private:
    UniqueKernelHandle m_mutex;
    // Declared after the handle, so the mutex is released before it is closed.
    UniqueMutexOwnership m_ownership;
};
