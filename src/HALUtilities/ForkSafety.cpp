#include "HALUtilities/ForkSafety.h"

#include <pthread.h>

#include <atomic>
#include <new>
#include <vector>

namespace qv3377hal {
namespace {

struct HeldLock {
    std::mutex* lock;
    bool leaf;
};

// Never freed: a fork or an export may come after the library's destructors
// have run at exit.
struct ForkState {
    // Taken first: the list does not change while a fork holds its locks.
    std::mutex registering;
    std::vector<HeldLock> locks;
    std::atomic<uint64_t> generation{0};
};

ForkState* state = nullptr;

void takeLocks() {
    state->registering.lock();
    for (const bool leaf : {false, true}) {
        for (const HeldLock& held : state->locks)
            if (held.leaf == leaf) held.lock->lock();
    }
}

void releaseLocks() {
    for (const HeldLock& held : state->locks) held.lock->unlock();
    state->registering.unlock();
}

void releaseLocksInChild() {
    state->generation.fetch_add(1);
    releaseLocks();
}

ForkState& forkState() {
    static ForkState* const made = [] {
        auto* fresh = new ForkState;
        state = fresh;
        if (pthread_atfork(&takeLocks, &releaseLocks, &releaseLocksInChild) != 0) {
            // Out of memory: a later first use tries again.
            state = nullptr;
            delete fresh;
            throw std::bad_alloc();
        }
        return fresh;
    }();
    return *made;
}

}  // namespace

std::mutex& holdAcrossFork(std::mutex& lock, bool leaf) {
    ForkState& fork = forkState();
    std::lock_guard guard(fork.registering);
    fork.locks.push_back({&lock, leaf});
    return lock;
}

uint64_t processGeneration() {
    return forkState().generation.load();
}

}  // namespace qv3377hal
