// The platform event: a flag that threads wait for, set and cleared by
// others. A manual-reset event wakes every waiter and stays set; an
// auto-reset event wakes one and clears itself as that one leaves.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <optional>

#include "qvapal/quarks/synchronization.h"
#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

class tEvent {
public:
    // Does nothing when the status already holds an error; a condition
    // variable that cannot be made gives -52008, a mutex -52003. A failed
    // event is left not created and must not be used.
    tEvent(bool autoReset, bool signalled, nQVAPALS100::tStatus& status);
    tEvent(const tEvent&) = delete;
    tEvent& operator=(const tEvent&) = delete;
    ~tEvent();

    bool created() const { return conditionCreated_ && mutex_.has_value(); }

    void set();
    void reset();
    // Waits until the event is set. False when the wait itself failed; the
    // event's state is then unknown to the caller.
    bool wait();
    // Waits until the event is set or `milliseconds` have passed on the
    // monotonic clock. True when it was set (an auto-reset event is then
    // cleared); false on time-out or when the wait failed.
    bool waitFor(uint32_t milliseconds);

private:
    pthread_cond_t condition_;
    bool conditionCreated_ = false;
    std::optional<tMutex> mutex_;
    bool monotonic_ = false;
    bool autoReset_;
    bool signalled_;
};

}  // namespace sdihal::nQVAPAL000
