#include "qvapal/protons/thread/tThreadController.h"

#include "qvapal/quarks/raise.h"
#include "qverr/Status.h"

namespace sdihal::nQVAPAL000 {

// Source name reported by this file's raise sites.
constexpr const char* kSource = "qvapal/protons/thread/tThreadController";
namespace {

void* runTarget(void* target) {
    static_cast<iThread*>(target)->run();
    return nullptr;
}

}  // namespace

void tThreadController::start(iThread& target, int32_t priority, const char* name,
                              nQVAPALS100::tStatus& status) {
    if (started_) {
        QVAPAL_RAISE(status, qverr::kStatusAlreadyStarted, kSource, 56);
        return;
    }
    if (joinable_) {
        record_ = tThreadRecord{};
        joinable_ = false;
    }
    if (status.isError()) return;
    target_ = &target;
    record_.body = &runTarget;
    record_.argument = target_;
    if (startThread(record_, priority, name, status)) {
        started_ = true;
        joinable_ = true;
    }
}

void tThreadController::join() {
    if (!joinable_) return;
    pthread_join(record_.handle, nullptr);
    // A joined thread must not be joined again: that is undefined behaviour.
    joinable_ = false;
    started_ = false;
}

}  // namespace sdihal::nQVAPAL000
