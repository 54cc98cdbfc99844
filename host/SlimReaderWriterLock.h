#pragma once

#include <windows.h>

// A Windows slim reader-writer lock shaped as a C++ SharedMutex, so that
// std::shared_lock and std::unique_lock manage it. It needs no destruction and cannot
// fail to initialise, which matters for the process-wide locks that live until unload.
class SlimReaderWriterLock {
public:
    SlimReaderWriterLock() = default;
    SlimReaderWriterLock(const SlimReaderWriterLock&) = delete;
    SlimReaderWriterLock& operator=(const SlimReaderWriterLock&) = delete;

    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != FALSE; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

    void lock_shared() { AcquireSRWLockShared(&lock_); }
    bool try_lock_shared() { return TryAcquireSRWLockShared(&lock_) != FALSE; }
    void unlock_shared() { ReleaseSRWLockShared(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
