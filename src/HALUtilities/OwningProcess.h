// The process that built an object served by threads of its own. A forked
// child holds a copy of such an object without those threads, and with the
// locks they may have held at the fork: stopping, joining or locking it would
// wait for ever, so the child leaves it alone. The process is told by its
// id and its fork generation together: a child in a new PID namespace may
// have its parent's id, and a child made without the fork handlers (_Fork,
// clone) has its parent's generation.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "HALUtilities/ForkSafety.h"

namespace qv3377hal {

class OwningProcess {
public:
    bool isCurrent() const { return generation_ == processGeneration() && process_ == getpid(); }

private:
    uint64_t generation_ = processGeneration();
    pid_t process_ = getpid();
};

// One T per process, found without a lock that a fork would have to take.
// A child that finds its parent's builds its own on first use and leaves
// the parent's alone (kept, never destroyed). Threads that race to build
// one each build theirs, outside any lock; one is kept and the others are
// destroyed. T tells whether this process built it (servedHere). At exit
// the process's own is destroyed.
template <class T>
class PerProcess {
public:
    constexpr PerProcess() = default;
    PerProcess(const PerProcess&) = delete;
    PerProcess& operator=(const PerProcess&) = delete;
    // A call after this (a late caller at exit) builds a new one rather
    // than use the one destroyed.
    ~PerProcess() {
        T* current = current_.exchange(nullptr);
        if (current != nullptr && current->servedHere()) delete current;
    }

    template <class... Args>
    T& get(const Args&... args) {
        T* current = current_.load();
        while (current == nullptr || !current->servedHere()) {
            auto fresh = std::make_unique<T>(args...);
            if (current_.compare_exchange_strong(current, fresh.get())) {
                if (current != nullptr) inherited_.store(current);
                return *fresh.release();
            }
        }
        return *current;
    }

private:
    std::atomic<T*> current_{nullptr};
    std::atomic<T*> inherited_{nullptr};
};

}  // namespace qv3377hal
