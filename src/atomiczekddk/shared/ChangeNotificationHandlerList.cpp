#include "atomiczekddk/shared/ChangeNotificationHandlerList.h"

#include <cxxabi.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace qvzek {

using Lock = sdihal::nQVAPAL000::tMutexLock;

bool ChangeNotificationHandlerList::isListed(IChangeNotificationHandler* handler) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [handler](const Entry& entry) { return entry.handler == handler; });
}

void ChangeNotificationHandlerList::addHandler(IChangeNotificationHandler* handler) {
    Lock lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.handler == handler) {
            ++entry.count;
            return;
        }
    }
    entries_.push_back(Entry{handler, 1});
}

void ChangeNotificationHandlerList::removeHandler(IChangeNotificationHandler* handler) {
    Lock lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->handler == handler) {
            if (--it->count == 0) entries_.erase(it);
            return;
        }
    }
}

void ChangeNotificationHandlerList::notifyAll() {
    Lock lock(mutex_);
    // A handler may change the list while it is being walked: walk a copy,
    // and skip a handler that an earlier one has unlisted meanwhile.
    std::vector<IChangeNotificationHandler*> handlers;
    handlers.reserve(entries_.size());
    for (const Entry& entry : entries_) handlers.push_back(entry.handler);
    // One failing handler must not keep the change from the others: the
    // first failure is passed on once every handler has been told.
    std::exception_ptr failure;
    for (IChangeNotificationHandler* handler : handlers) {
        if (handler == nullptr || !isListed(handler)) continue;
        try {
            handler->notify();
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace qvzek
