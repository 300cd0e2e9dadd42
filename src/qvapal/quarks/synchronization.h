// The platform mutex: recursive, with priority inheritance, so that the
// real-time threads of the system cannot be held up behind a lower-priority
// owner.
#pragma once

#include <pthread.h>

#include <cstdint>

namespace sdihal::nQVAPAL000 {

class tMutex {
public:
    // Throws qverr::Exception (-52003) when the mutex cannot be created.
    tMutex();
    tMutex(const tMutex&) = delete;
    tMutex& operator=(const tMutex&) = delete;
    ~tMutex();

    void lock();
    void unlock();
    // In a forked child, with no other thread: a free mutex again, whoever
    // held it at the fork.
    void resetInChild();
    // For waits on a condition variable with this mutex.
    pthread_mutex_t* native() { return &mutex_; }

private:
    uint32_t state_ = 0;
    pthread_mutex_t mutex_;
    bool initialised_ = false;
};

// Holds a platform mutex for the lifetime of the scope.
class tMutexLock {
public:
    explicit tMutexLock(tMutex& mutex) : mutex_(mutex) { mutex_.lock(); }
    tMutexLock(const tMutexLock&) = delete;
    tMutexLock& operator=(const tMutexLock&) = delete;
    ~tMutexLock() { mutex_.unlock(); }

private:
    tMutex& mutex_;
};

}  // namespace sdihal::nQVAPAL000
