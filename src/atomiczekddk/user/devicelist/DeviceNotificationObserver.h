// The thread that tells the device manager of module arrivals and removals:
// it waits on the platform's device notification dispatcher and calls its
// callback after each notification, and also after a failed wait, because a
// notification may have been missed then. While waits keep failing it backs
// off (100 ms, doubling up to 1 s) instead of spinning; stop ends both the
// wait and the back-off at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "qvapal/protons/device_notification/tNotificationDispatcher.h"
#include "qvapal/protons/thread/tThreadController.h"
#include "qvapal/quarks/event.h"
#include "qvapal/status/tStatus.h"

namespace qvzek {

class DeviceNotificationObserver : private sdihal::nQVAPAL000::iThread {
public:
    static constexpr const char* kThreadName = "qvzek::DeviceNotificationObserver";
    static constexpr uint32_t kFirstBackOffMs = 100;
    static constexpr uint32_t kLongestBackOffMs = 1000;

    // Watches the driver interfaces named in `interfaceNames`. Throws
    // qverr::Exception when its events cannot be made.
    explicit DeviceNotificationObserver(std::vector<std::string> interfaceNames);
    DeviceNotificationObserver(const DeviceNotificationObserver&) = delete;
    DeviceNotificationObserver& operator=(const DeviceNotificationObserver&) = delete;
    // Stops and joins the thread.
    ~DeviceNotificationObserver() override;

    // Starts the thread and returns once it watches; from then on `callback`
    // is called on that thread for every arrival or removal. A thread or
    // dispatcher that cannot be made is thrown.
    void start(ICallbackVoid* callback);
    // Ends the thread's wait; no callback starts after it. Any thread.
    void stop();

private:
    void run() override;
    void backOff(uint32_t& delayMs);

    nQVAPALS100::tStatus eventStatus_;
    sdihal::nQVAPAL000::tEvent started_;
    // Set by stop: ends a back-off at once.
    sdihal::nQVAPAL000::tEvent stopped_;
    std::atomic<uint32_t> stopRequested_{0};
    nQVAPALS100::tStatus threadStatus_;
    ICallbackVoid* callback_ = nullptr;
    // Guards the dispatcher pointer between the thread, which makes it, and
    // stop.
    std::mutex dispatcherMutex_;
    sdihal::nQVAPAL000::tNotificationDispatcher* dispatcher_ = nullptr;
    sdihal::nQVAPAL000::tThreadController thread_;
    std::vector<std::string> interfaceNames_;
};

}  // namespace qvzek
