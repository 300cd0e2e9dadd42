#include "qvapal/quarks/event.h"

#include <ctime>

#include "qvapal/quarks/raise.h"
#include "qverr/Exception.h"

namespace sdihal::nQVAPAL000 {

// The event is part of the platform's synchronisation source.
constexpr const char* kSource = "qvapal/quarks/synchronization";

tEvent::tEvent(bool autoReset, bool signalled, nQVAPALS100::tStatus& status)
    : autoReset_(autoReset), signalled_(signalled) {
    if (status.isError()) return;
    // Waits measure on the monotonic clock where it can be chosen, so that a
    // change of the wall clock never stretches them.
    pthread_condattr_t attributes;
    int made;
    if (pthread_condattr_init(&attributes) == 0) {
        if (pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0) {
            made = pthread_cond_init(&condition_, &attributes);
            monotonic_ = true;
        } else {
            made = pthread_cond_init(&condition_, nullptr);
        }
        pthread_condattr_destroy(&attributes);
    } else {
        made = pthread_cond_init(&condition_, nullptr);
    }
    if (made != 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 1352);
        return;
    }
    conditionCreated_ = true;
    try {
        mutex_.emplace();
    } catch (const qverr::ExceptionBase& error) {
        qverr::copyStatusToTStatus(error.status, status);
        if (!status.isError())
            QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 588);
    }
    if (status.isError()) {
        pthread_cond_destroy(&condition_);
        conditionCreated_ = false;
        mutex_.reset();
    }
}

tEvent::~tEvent() {
    mutex_.reset();
    if (conditionCreated_) pthread_cond_destroy(&condition_);
}

void tEvent::set() {
    tMutexLock lock(*mutex_);
    signalled_ = true;
    if (autoReset_) {
        pthread_cond_signal(&condition_);
    } else {
        pthread_cond_broadcast(&condition_);
    }
}

void tEvent::reset() {
    tMutexLock lock(*mutex_);
    signalled_ = false;
}

bool tEvent::wait() {
    tMutexLock lock(*mutex_);
    while (!signalled_) {
        if (pthread_cond_wait(&condition_, mutex_->native()) != 0) return false;
    }
    if (autoReset_) signalled_ = false;
    return true;
}

bool tEvent::waitFor(uint32_t milliseconds) {
    timespec deadline{};
    clock_gettime(monotonic_ ? CLOCK_MONOTONIC : CLOCK_REALTIME, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000L;
    }
    tMutexLock lock(*mutex_);
    while (!signalled_) {
        if (pthread_cond_timedwait(&condition_, mutex_->native(), &deadline) != 0) {
            // Set just as the time ran out still counts as set.
            if (!signalled_) return false;
        }
    }
    if (autoReset_) signalled_ = false;
    return true;
}

}  // namespace sdihal::nQVAPAL000
