// A recursive pthread mutex with priority inheritance. Creation failure
// throws -52003.
#pragma once

#include <pthread.h>

namespace qvafa::internal {

class RecursiveMutex {
public:
    RecursiveMutex();
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;
    ~RecursiveMutex();

    void lock();
    void unlock();
    pthread_mutex_t* native() { return &mutex_; }

private:
    pthread_mutex_t mutex_;
    bool initialised_ = false;
};

}  // namespace qvafa::internal
