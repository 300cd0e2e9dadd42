#include "qvapal/quarks/synchronization.h"

#include "qvapal/quarks/raise.h"
#include "qverr/StatusThrowGuard.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/quarks/synchronization";

tMutex::tMutex() {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 588);
        return;
    }
    if (pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) != 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 588);
    } else {
        // Without priority inheritance the mutex still works; only the
        // bound on priority inversion is lost.
        (void)pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        if (pthread_mutex_init(&mutex_, &attributes) == 0) {
            initialised_ = true;
        } else {
            QVAPAL_RAISE(status, qverr::qvapalerr_softwareFaultAPALInternalUseOnly, kSource, 588);
        }
    }
    pthread_mutexattr_destroy(&attributes);
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

}  // namespace sdihal::nQVAPAL000
