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

// Holds `lock` across every later fork. The locks held so are never nested
// in one another, except leaf locks (the handle registry's), which may be
// taken under any other and are taken after them. `lock` must live until the
// library is unloaded.
// Returns `lock`.
std::mutex& holdAcrossFork(std::mutex& lock, bool leaf = false);

// Forks this process descends from since the library's first use of it.
uint64_t processGeneration();

}  // namespace qv3377hal
