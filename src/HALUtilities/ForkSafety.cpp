#include "HALUtilities/ForkSafety.h"

#include <pthread.h>

#include <array>
#include <atomic>
#include <new>
#include <stdexcept>

namespace qv3377hal {
namespace {

struct HeldLock {
    std::mutex* lock;
    bool leaf;
};

// In static storage and never destroyed: a fork or an export may come after
// the library's destructors have run at exit, and nothing of it is left on
// the heap once the library is unloaded.
struct ForkState {
    // Taken first: the list does not change while a fork holds its locks.
    std::mutex registering;
    // The library's few library-wide locks.
    std::array<HeldLock, 8> locks{};
    size_t count = 0;
    std::atomic<uint64_t> generation{0};
};

alignas(ForkState) unsigned char storage[sizeof(ForkState)];
ForkState* state = nullptr;

void takeLocks() {
    state->registering.lock();
    for (const bool leaf : {false, true}) {
        for (size_t i = 0; i < state->count; ++i)
            if (state->locks[i].leaf == leaf) state->locks[i].lock->lock();
    }
}

void releaseLocks() {
    for (size_t i = 0; i < state->count; ++i) state->locks[i].lock->unlock();
    state->registering.unlock();
}

void releaseLocksInChild() {
    state->generation.fetch_add(1);
    releaseLocks();
}

ForkState& forkState() {
    static ForkState* const made = [] {
        state = new (storage) ForkState;
        // Out of memory: a later first use tries again.
        if (pthread_atfork(&takeLocks, &releaseLocks, &releaseLocksInChild) != 0)
            throw std::bad_alloc();
        return state;
    }();
    return *made;
}

}  // namespace

std::mutex& holdAcrossFork(std::mutex& lock, bool leaf) {
    ForkState& fork = forkState();
    std::lock_guard guard(fork.registering);
    if (fork.count == fork.locks.size()) throw std::length_error("too many locks held across fork");
    fork.locks[fork.count++] = {&lock, leaf};
    return lock;
}

uint64_t processGeneration() {
    return forkState().generation.load();
}

}  // namespace qv3377hal
