#include "HALUtilities/ForkSafety.h"

#include <pthread.h>

#include <array>
#include <atomic>
#include <new>
#include <stdexcept>

namespace qv3377hal {

// The handle registry's writers' lock, taken after every other.
void lockHandleRegistryWriters();
void unlockHandleRegistryWriters();

namespace {

struct HeldLock {
    void* lock;
    void (*take)(void*);
    void (*release)(void*);
    void (*releaseInChild)(void*);
};

// Constant-initialised: nothing runs at load, no first-use guard can be
// caught half done by a fork, and nothing is destroyed at exit, where a
// fork or an export may still come after the library's destructors.
struct ForkState {
    // Taken first: the list does not change while a fork holds its locks.
    std::mutex registering;
    // The library's few library-wide locks.
    std::array<HeldLock, 8> locks{};
    size_t count = 0;
    std::atomic<uint64_t> generation{0};
    // pthread_once, which a fork cannot leave half done in the child.
    std::once_flag armed;
};

constinit ForkState state;

void takeLocks() {
    state.registering.lock();
    for (size_t i = 0; i < state.count; ++i) state.locks[i].take(state.locks[i].lock);
    lockHandleRegistryWriters();
}

void releaseLocks() {
    unlockHandleRegistryWriters();
    for (size_t i = 0; i < state.count; ++i) state.locks[i].release(state.locks[i].lock);
    state.registering.unlock();
}

void releaseLocksInChild() {
    state.generation.fetch_add(1);
    unlockHandleRegistryWriters();
    for (size_t i = 0; i < state.count; ++i) state.locks[i].releaseInChild(state.locks[i].lock);
    state.registering.unlock();
}

}  // namespace

void armForkHandlers() {
    std::call_once(state.armed, [] {
        if (pthread_atfork(&takeLocks, &releaseLocks, &releaseLocksInChild) != 0)
            throw std::bad_alloc();
    });
}

void holdAcrossFork(void* lock, void (*take)(void*), void (*release)(void*),
                    void (*releaseInChild)(void*)) {
    armForkHandlers();
    std::lock_guard guard(state.registering);
    if (state.count == state.locks.size())
        throw std::length_error("too many locks held across fork");
    state.locks[state.count++] = {lock, take, release, releaseInChild};
}

std::mutex& holdAcrossFork(std::mutex& lock) {
    const auto unlock = [](void* held) { static_cast<std::mutex*>(held)->unlock(); };
    holdAcrossFork(
        &lock, [](void* held) { static_cast<std::mutex*>(held)->lock(); }, unlock, unlock);
    return lock;
}

uint64_t processGeneration() {
    armForkHandlers();
    return state.generation.load();
}

}  // namespace qv3377hal
