// A thread that waits for configuration changes and tells every registered
// handler. Started by the constructor, stopped and joined by the
// destructor.
#pragma once

#include <atomic>

#include "atomiczekddk/shared/ChangeNotificationHandlerList.h"
#include "qvafa/internal/ScopedThread.h"
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
    static void notifyLoop(void* self);

    qvjsonconfig::SynchronizedConfigurationInterface* configuration_;
    ChangeNotificationHandlerList handlers_;
    qvafa::internal::ScopedThread thread_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace qvzek
