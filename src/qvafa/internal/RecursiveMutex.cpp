#include "qvafa/internal/RecursiveMutex.h"

#include "qverr/Exception.h"

namespace qvafa::internal {

RecursiveMutex::RecursiveMutex() {
    pthread_mutexattr_t attributes;
    bool ok = pthread_mutexattr_init(&attributes) == 0;
    if (ok) {
        ok = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0;
        // Without priority inheritance the mutex still works.
        (void)pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        if (ok) ok = pthread_mutex_init(&mutex_, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
    }
    if (!ok) {
        QVERR_THROW("internal_sdi_hal23u", qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly");
    }
    initialised_ = true;
}

RecursiveMutex::~RecursiveMutex() {
    if (initialised_) pthread_mutex_destroy(&mutex_);
}

void RecursiveMutex::lock() { pthread_mutex_lock(&mutex_); }

void RecursiveMutex::unlock() { pthread_mutex_unlock(&mutex_); }

}  // namespace qvafa::internal
