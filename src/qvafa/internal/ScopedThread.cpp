#include "qvafa/internal/ScopedThread.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"

namespace qvafa::internal {

namespace {

constexpr const char* kThreadName = "internal_sdi_hal23u";

struct Start {
    ScopedThread::Body body;
    void* argument;
    char* name;
};

void* threadEntry(void* raw) {
    Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    if (start.name != nullptr) {
        prctl(PR_SET_NAME, start.name, 0, 0, 0);
        free(start.name);
    }
    start.body(start.argument);
    return nullptr;
}

[[noreturn]] void throwThreadFault(uint64_t line) {
    nQVAPALS100::tStatus platformStatus;
    platformStatus.setCode(qverr::qvapalerr_osFault, nQVAPALS100::kPlatformComponent,
                           "qvapal/quarks/thread", line);
    qverr::Status status;
    status.mergeTStatus(platformStatus);
    qverr::throwStatus(std::move(status));
}

}  // namespace

void ScopedThread::start(Body body, void* argument) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) throwThreadFault(594);
    sched_param parameter{};
    parameter.sched_priority = 0;
    bool ok = pthread_attr_setschedpolicy(&attributes, SCHED_OTHER) == 0 &&
              pthread_attr_setschedparam(&attributes, &parameter) == 0 &&
              pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED) == 0;
    Start* start = nullptr;
    if (ok) {
        start = new (std::nothrow) Start{body, argument, strdup(kThreadName)};
        ok = start != nullptr && pthread_create(&handle_, &attributes, &threadEntry, start) == 0;
    }
    pthread_attr_destroy(&attributes);
    if (!ok) {
        if (start != nullptr) {
            free(start->name);
            delete start;
        }
        throwThreadFault(632);
    }
    started_ = true;
}

void ScopedThread::join() {
    if (!started_) return;
    pthread_join(handle_, nullptr);
    started_ = false;
}

}  // namespace qvafa::internal
