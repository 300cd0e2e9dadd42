// The handlers told of configuration changes, each with a registration
// count.
#pragma once

#include <cstdint>
#include <list>

#include "atomiczekddk/shared/IChangeNotificationHandler.h"
#include "qvapal/quarks/synchronization.h"

namespace qvzek {

class ChangeNotificationHandlerList {
public:
    ChangeNotificationHandlerList() = default;
    ChangeNotificationHandlerList(const ChangeNotificationHandlerList&) = delete;
    ChangeNotificationHandlerList& operator=(const ChangeNotificationHandlerList&) = delete;

    void addHandler(IChangeNotificationHandler* handler);
    // One registration less; the last one unlists the handler. Unknown
    // handlers are ignored.
    void removeHandler(IChangeNotificationHandler* handler);
    // Tells every handler, in registration order, under the list's mutex:
    // once removeHandler has returned in another thread, the handler is
    // not called any more. A handler may add or remove handlers (itself
    // included) from inside notify. When handlers throw, the others are
    // still told and the first exception is rethrown at the end.
    void notifyAll();

private:
    struct Entry {
        IChangeNotificationHandler* handler;
        uint32_t count;
    };
    bool isListed(IChangeNotificationHandler* handler) const;

    sdihal::nQVAPAL000::tMutex mutex_;
    std::list<Entry> entries_;
};

}  // namespace qvzek
