// The process that built an object served by threads of its own. A forked
// child holds a copy of such an object without those threads, and with the
// locks they may have held at the fork: stopping, joining or locking it would
// wait for ever, so the child leaves it alone. The process is told by its
// id and its fork generation together: a child in a new PID namespace may
// have its parent's id, and a child made without the fork handlers (_Fork,
// clone) has its parent's generation.
#pragma once

#include <unistd.h>

#include <cstdint>

#include "HALUtilities/ForkSafety.h"

namespace qv3377hal {

class OwningProcess {
public:
    bool isCurrent() const { return generation_ == processGeneration() && process_ == getpid(); }

private:
    uint64_t generation_ = processGeneration();
    pid_t process_ = getpid();
};

}  // namespace qv3377hal
