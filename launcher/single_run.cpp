#include "launcher/single_run.h"

#include "launcher/product_constants.h"

bool SingleRunLock::TryAcquire()
{
    SetLastError(ERROR_SUCCESS);
    m_mutex.reset(CreateMutexW(nullptr, FALSE, product::kSingleRunMutex));
    if (!m_mutex)
        // The mutex exists, made by a launcher of another account whose
        // security does not let us open it: that run is in progress.
        return GetLastError() != ERROR_ACCESS_DENIED;
    switch (WaitForSingleObject(m_mutex.get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        m_ownership.reset(m_mutex.get());
        return true;
    case WAIT_TIMEOUT:
        m_mutex.reset();
        return false;
    default:
        m_mutex.reset();
        return true;
    }
}
