// Thread creation of the platform layer: explicit scheduling (SCHED_RR for a
// priority of 1 and above, SCHED_OTHER otherwise) and a thread name that the
// new thread sets on itself.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

// The record a new thread starts from; it must outlive the thread's start.
struct tThreadRecord {
    pthread_t handle{};
    void* (*body)(void* argument) = nullptr;
    void* argument = nullptr;
    // Heap copy of the name, taken over and freed by the new thread.
    char* name = nullptr;
};

// Starts `record.body(record.argument)` on a new thread. Failures raise
// -52008 into `status` and leave no thread and no name copy behind.
bool startThread(tThreadRecord& record, int32_t priority, const char* name,
                 nQVAPALS100::tStatus& status);

// A thread that lives as long as its owner's scope: SCHED_OTHER, priority 0,
// named "internal_sdi_hal23u". The owner makes its body return before the
// thread is joined (by join() or the destructor).
class tScopedThread {
public:
    // Throws qverr::Exception (-52008) when the thread cannot be started,
    // unless another exception is already propagating.
    tScopedThread(void* (*body)(void* argument), void* argument);
    tScopedThread(const tScopedThread&) = delete;
    tScopedThread& operator=(const tScopedThread&) = delete;
    ~tScopedThread();

    void join();

private:
    tThreadRecord record_;
    bool joinable_ = false;
};

}  // namespace sdihal::nQVAPAL000
