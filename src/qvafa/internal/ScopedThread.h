// A thread started by its owner's constructor and joined by its
// destructor: SCHED_OTHER, priority 0, explicit scheduling, named
// "internal_sdi_hal23u". Start failures throw -52008.
#pragma once

#include <pthread.h>

namespace qvafa::internal {

class ScopedThread {
public:
    using Body = void (*)(void* argument);

    ScopedThread() = default;
    ScopedThread(const ScopedThread&) = delete;
    ScopedThread& operator=(const ScopedThread&) = delete;
    // Joins a thread still running: its owner must have told it to stop.
    ~ScopedThread() { join(); }

    void start(Body body, void* argument);
    void join();
    bool started() const { return started_; }

private:
    pthread_t handle_{};
    bool started_ = false;
};

}  // namespace qvafa::internal
