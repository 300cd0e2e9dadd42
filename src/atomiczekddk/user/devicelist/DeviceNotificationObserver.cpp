#include "atomiczekddk/user/devicelist/DeviceNotificationObserver.h"

#include <algorithm>
#include <memory>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/Exception.h"

namespace qvzek {

namespace {

constexpr const char* kSource = "atomiczekddk/user/devicelist/DeviceNotificationObserver";

void storeException(nQVAPALS100::tStatus& status, uint64_t line) noexcept {
    qv3377hal::storeCurrentException(status, nQVAPALS100::kPlatformComponent, kSource, line);
}

}  // namespace

DeviceNotificationObserver::DeviceNotificationObserver(std::vector<std::string> interfaceNames)
    : started_(true, false, eventStatus_),
      stopped_(false, false, eventStatus_),
      interfaceNames_(std::move(interfaceNames)) {
    qverr::throwIfTStatusError(eventStatus_);
}

DeviceNotificationObserver::~DeviceNotificationObserver() {
    stop();
    thread_.join();
    delete dispatcher_;
}

void DeviceNotificationObserver::start(ICallbackVoid* callback) {
    callback_ = callback;
    nQVAPALS100::tStatus status;
    thread_.start(*this, 0, kThreadName, status);
    qverr::throwIfTStatusError(status);
    started_.wait();
    qverr::throwIfTStatusError(threadStatus_);
}

void DeviceNotificationObserver::stop() {
    stopRequested_.exchange(1);
    stopped_.set();
    std::lock_guard lock(dispatcherMutex_);
    if (dispatcher_ != nullptr) dispatcher_->stop();
}

void DeviceNotificationObserver::run() {
    try {
        std::vector<const char*> names;
        for (const std::string& name : interfaceNames_) names.push_back(name.c_str());
        auto dispatcher = std::make_unique<sdihal::nQVAPAL000::tNotificationDispatcher>(
            names.data(), names.size(), threadStatus_);
        std::lock_guard lock(dispatcherMutex_);
        delete dispatcher_;
        dispatcher_ = dispatcher.release();
        // A stop that came before the dispatcher existed still ends its waits.
        if (stopRequested_.load() != 0) dispatcher_->stop();
    } catch (...) {
        storeException(threadStatus_, 198);
    }
    started_.set();
    if (threadStatus_.isError()) return;

    uint32_t delayMs = kFirstBackOffMs;
    while (stopRequested_.load() == 0) {
        // Each pass starts clean: an old failure must not make every later
        // pass look failed.
        nQVAPALS100::tStatus error;
        try {
            bool changed = false;
            nQVAPALS100::tStatus wait;
            dispatcher_->waitForAnyNotification(&changed, wait);
            qverr::throwIfTStatusError(wait);
            if (changed && stopRequested_.load() == 0 && callback_ != nullptr) callback_->call();
        } catch (...) {
            storeException(error, 226);
        }
        if (!error.isError()) {
            delayMs = kFirstBackOffMs;
            continue;
        }
        if (stopRequested_.load() != 0) break;
        // What changed while the wait failed is unknown: rescan once, then
        // give the cause time to pass.
        try {
            if (callback_ != nullptr) callback_->call();
        } catch (...) {
        }
        backOff(delayMs);
    }
}

void DeviceNotificationObserver::backOff(uint32_t& delayMs) {
    stopped_.waitFor(delayMs);
    delayMs = std::min(delayMs * 2, kLongestBackOffMs);
}

}  // namespace qvzek
