// What the library does around a fork of its host. A child has only the
// thread that forked: a library-wide lock another thread held at the fork
// would stay locked in the child for ever, so every such lock is taken
// before the fork and released after it, in both processes. A child also
// counts as a new process generation, which objects served by threads of
// their own compare against (a process id may repeat in a new PID
// namespace: a child of process 1 can be process 1 as well).
//
// The handlers are registered at first use, never at load; the C library
// drops them when the library is unloaded.
#pragma once

#include <cstdint>
#include <mutex>

namespace qv3377hal {

// Registers the fork handlers once: called before a lock they take can
// first be held, and before a generation is first recorded. Throws
// std::bad_alloc when they cannot be registered (a later call tries again).
void armForkHandlers();

// Holds `lock` across every later fork. The locks held so are never nested
// in one another; the handle registry's lock, taken under any of them, is
// held apart and taken last. `lock` must live until the library is
// unloaded, and no lock held so may be held by the caller (the registration
// waits for a fork in progress, which waits for the locks). Returns `lock`.
std::mutex& holdAcrossFork(std::mutex& lock);
// The same for a lock of another type: `take` and `release` lock and unlock
// it, and `releaseInChild` frees it in the child, where a lock that records
// the thread owning it no longer knows that thread.
void holdAcrossFork(void* lock, void (*take)(void*), void (*release)(void*),
                    void (*releaseInChild)(void*));

// Forks this process descends from since the library's first use of it.
uint64_t processGeneration();

}  // namespace qv3377hal
