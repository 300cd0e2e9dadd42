#include "HALUtilities/ForkSafety.h"

#include <pthread.h>

#include <array>
#include <atomic>

namespace qv3377hal {

// The handle registry's writers' lock, taken after every other.
void lockHandleRegistryWriters();
void unlockHandleRegistryWriters();

namespace {

// Constant-initialised, so that they exist before any code of the library
// runs. None is taken under another; the registry's lock may be taken under
// any of them, so it comes last. The C library runs the prepare handlers of
// this library and of others (a platform stand-in's, a host's) in the
// reverse order of their registration, which no one controls. Either order
// is free of deadlock because none of these locks is ever held while its
// holder waits for a lock outside this table (the simulated driver's, a
// plug-in's, a file's), a device request, another process, a thread or the
// loader: a prepare handler that waits for one waits only for short work.
constinit std::array<std::mutex, static_cast<size_t>(ForkHeldLock::count)> heldLocks;
constinit std::atomic<uint64_t> generation{0};

void takeLocks() {
    for (std::mutex& lock : heldLocks) lock.lock();
    lockHandleRegistryWriters();
}

void releaseLocks() {
    unlockHandleRegistryWriters();
    for (std::mutex& lock : heldLocks) lock.unlock();
}

void releaseLocksInChild() {
    generation.fetch_add(1);
    releaseLocks();
}

// Registered while the library loads (pthread_atfork starts no thread and
// touches no file). It can fail only when the C library cannot allocate
// its record, which it needs only past dozens of handlers in the process.
[[maybe_unused]] const int handlersRegistered =
    pthread_atfork(&takeLocks, &releaseLocks, &releaseLocksInChild);

}  // namespace

std::mutex& forkHeldLock(ForkHeldLock which) {
    return heldLocks[static_cast<size_t>(which)];
}

uint64_t processGeneration() {
    return generation.load();
}

}  // namespace qv3377hal
