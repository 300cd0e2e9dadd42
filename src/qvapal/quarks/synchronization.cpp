#include "qvapal/quarks/synchronization.h"

#include "qvapal/quarks/raise.h"
#include "qverr/StatusThrowGuard.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/quarks/synchronization";

namespace {

// A recursive mutex with priority inheritance; false when it cannot be made.
bool makeMutex(pthread_mutex_t& mutex) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return false;
    bool made = false;
    if (pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0) {
        // Without priority inheritance the mutex still works; only the
        // bound on priority inversion is lost.
        (void)pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        made = pthread_mutex_init(&mutex, &attributes) == 0;
    }
    pthread_mutexattr_destroy(&attributes);
    return made;
}

}  // namespace

tMutex::tMutex() {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    initialised_ = makeMutex(mutex_);
    if (!initialised_)
        QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 588);
}

tMutex::~tMutex() {
    if (initialised_) pthread_mutex_destroy(&mutex_);
}

void tMutex::lock() {
    pthread_mutex_lock(&mutex_);
}

void tMutex::unlock() {
    pthread_mutex_unlock(&mutex_);
}

void tMutex::resetInChild() {
    // The child's one thread may hold the mutex, taken before the fork, but
    // under the parent thread's id, which no unlock here matches.
    if (initialised_) (void)makeMutex(mutex_);
}

}  // namespace sdihal::nQVAPAL000
