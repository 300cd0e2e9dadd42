// What the library does around a fork of its host. A child has only the
// thread that forked: a library-wide lock another thread held at the fork
// would stay locked in the child for ever, so each such lock is taken
// before the fork and released after it, in both processes. A child also
// counts as a new process generation, which objects served by threads of
// their own compare against (see OwningProcess.h).
//
// The handlers are registered while the library loads, and the locks they
// take exist from then on: no first use registers anything, so a fork can
// catch none half done. The C library drops the handlers at unload.
#pragma once

#include <cstdint>
#include <mutex>

namespace qv3377hal {

// The locks taken before a fork. Each guards only short work of the
// library's own: none is held while its holder waits for another process,
// a thread, a device request, the loader or code outside the library.
enum class ForkHeldLock { visaPluginState, terminalIndexes, count };

std::mutex& forkHeldLock(ForkHeldLock which);

// Forks this process descends from since the library was loaded.
uint64_t processGeneration();

}  // namespace qv3377hal
