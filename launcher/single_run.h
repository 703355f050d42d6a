#pragma once
// One launcher at a time on a machine. Two runs side by side would share the
// installers folder, the package file and the settings backup key: the first
// run's removal of the backup would strip the second run's installation of its
// copy, and the second run's package write would fail or replace the package
// that the first run's Windows Installer is reading.
#include <windows.h>

#include "framework/unique_handle.h"

class SingleRunLock {
  public:
    // Releases the lock, if this object holds it, when it goes away.
    SingleRunLock() = default;
    SingleRunLock(const SingleRunLock&) = delete;
    SingleRunLock& operator=(const SingleRunLock&) = delete;

    // Takes the machine-wide lock named product::kSingleRunMutex without
    // waiting. Returns false only when another launcher holds it (or holds it
    // under an account whose lock this one may not open); then nothing is
    // held. Returns true when the lock is now held, and also when the lock
    // could not be made at all (the run then goes on unguarded, as it would
    // without this lock). A lock left by a launcher that was killed counts as
    // free: that run's backup key is merged and removed by this run.
    bool TryAcquire();

    // True while this object holds the lock.
    bool held() const { return m_ownership.valid(); }

  private:
    UniqueKernelHandle m_mutex;
    // Declared after the handle, so the mutex is released before it is closed.
    UniqueMutexOwnership m_ownership;
};
