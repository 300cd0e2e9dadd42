#include "qvapal/quarks/thread.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <cstring>

#include "qvapal/quarks/raise.h"
#include "qverr/StatusThrowGuard.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/quarks/thread";
namespace {

void* threadEntry(void* argument) {
    auto* record = static_cast<tThreadRecord*>(argument);
    if (record->name != nullptr) {
        prctl(PR_SET_NAME, record->name, 0, 0, 0);
        std::free(record->name);
        record->name = nullptr;
    }
    return record->body(record->argument);
}

}  // namespace

bool startThread(tThreadRecord& record, int32_t priority, const char* name,
                 nQVAPALS100::tStatus& status) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 594);
        return false;
    }
    sched_param parameter{};
    parameter.sched_priority = priority;
    bool started = false;
    if (pthread_attr_setschedpolicy(&attributes, priority >= 1 ? SCHED_RR : SCHED_OTHER) != 0 ||
        pthread_attr_setschedparam(&attributes, &parameter) != 0 ||
        pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED) != 0) {
        QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 632);
    } else {
        record.name = name != nullptr ? strdup(name) : nullptr;
        if (pthread_create(&record.handle, &attributes, &threadEntry, &record) == 0) {
            started = true;
        } else {
            std::free(record.name);
            record.name = nullptr;
            QVAPAL_RAISE(status, qverr::qvapalerr_osFault, kSource, 632);
        }
    }
    pthread_attr_destroy(&attributes);
    return started;
}

tScopedThread::tScopedThread(void* (*body)(void* argument), void* argument) {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    record_.body = body;
    record_.argument = argument;
    joinable_ = startThread(record_, 0, nQVAPALS100::kPlatformComponent, status);
}

tScopedThread::~tScopedThread() {
    join();
}

void tScopedThread::join() {
    if (!joinable_) return;
    pthread_join(record_.handle, nullptr);
    joinable_ = false;
}

}  // namespace sdihal::nQVAPAL000
