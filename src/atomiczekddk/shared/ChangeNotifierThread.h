// A thread that waits for configuration changes and tells every registered
// handler. Started by the constructor, stopped and joined by the
// destructor.
#pragma once

#include <atomic>

#include "atomiczekddk/shared/ChangeNotificationHandlerList.h"
#include "qvapal/quarks/thread.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvzek {

class ChangeNotifierThread {
public:
    explicit ChangeNotifierThread(qvjsonconfig::SynchronizedConfigurationInterface& configuration);
    ChangeNotifierThread(const ChangeNotifierThread&) = delete;
    ChangeNotifierThread& operator=(const ChangeNotifierThread&) = delete;
    ~ChangeNotifierThread();

    void addHandler(IChangeNotificationHandler* handler) { handlers_.addHandler(handler); }
    void removeHandler(IChangeNotificationHandler* handler) { handlers_.removeHandler(handler); }

private:
    static void* notifyLoop(void* self);

    qvjsonconfig::SynchronizedConfigurationInterface* configuration_;
    ChangeNotificationHandlerList handlers_;
    std::atomic<bool> stopRequested_{false};
    // Started last, joined first.
    sdihal::nQVAPAL000::tScopedThread thread_;
};

}  // namespace qvzek
