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
// the process's own is destroyed; the parents' stay reachable, each from
// the one that replaced it, so that a leak check at a child's exit finds
// none of them.
template <class T>
class PerProcess {
public:
    constexpr PerProcess() = default;
    PerProcess(const PerProcess&) = delete;
    PerProcess& operator=(const PerProcess&) = delete;
    // A call after this (a late caller at exit) builds a new one rather
    // than use the one destroyed.
    ~PerProcess() {
        Slot* current = current_.load();
        if (current != nullptr && current->object.servedHere() &&
            current_.compare_exchange_strong(current, current->replaced))
            delete current;
    }

    template <class... Args>
    T& get(const Args&... args) {
        Slot* current = current_.load();
        while (current == nullptr || !current->object.servedHere()) {
            auto fresh = std::make_unique<Slot>(current, args...);
            if (current_.compare_exchange_strong(current, fresh.get()))
                return fresh.release()->object;
        }
        return current->object;
    }

private:
    struct Slot {
        template <class... Args>
        explicit Slot(Slot* replaced, const Args&... args) : replaced(replaced), object(args...) {}
        // The parent's, inherited: never destroyed here.
        Slot* replaced;
        T object;
    };

    std::atomic<Slot*> current_{nullptr};
};

// Objects a forked child inherited and let go, newest first: kept reachable
// and never destroyed, so that a leak check at the child's exit finds none
// of them. Each is linked through a pointer of its own.
template <class T>
class Forgotten {
public:
    constexpr Forgotten() = default;
    Forgotten(const Forgotten&) = delete;
    Forgotten& operator=(const Forgotten&) = delete;

    void keep(T* object, T*& link) {
        link = newest_.load();
        while (!newest_.compare_exchange_weak(link, object)) {
        }
    }

private:
    std::atomic<T*> newest_{nullptr};
};

}  // namespace qv3377hal
