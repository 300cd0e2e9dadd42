// A restartable thread owned by one controlling thread: start runs a target
// on a new named thread, join waits for it, and the controller may then be
// started again.
#pragma once

#include <cstdint>

#include "qvapal/quarks/thread.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

class iThread {
public:
    virtual ~iThread() = default;
    virtual void run() = 0;
};

class tThreadController {
public:
    tThreadController() = default;
    tThreadController(const tThreadController&) = delete;
    tThreadController& operator=(const tThreadController&) = delete;
    // Does not join: the owner stops and joins its thread first.
    virtual ~tThreadController() {}

    // Runs target.run() on a new thread named `name` (null: unnamed), with
    // SCHED_RR at `priority` when it is 1 or more, else SCHED_OTHER.
    // Starting a running controller gives -52016.
    void start(iThread& target, int32_t priority, const char* name, nQVAPALS100::tStatus& status);
    // Waits for the thread; does nothing when there is none to wait for.
    void join();

    bool isStarted() const { return started_; }

private:
    tThreadRecord record_;
    iThread* target_ = nullptr;
    bool started_ = false;
    bool joinable_ = false;
};

}  // namespace sdihal::nQVAPAL000
