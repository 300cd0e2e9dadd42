// The process that built an object served by threads of its own. A forked
// child holds a copy of such an object without those threads, and with the
// locks they may have held at the fork: stopping, joining or locking it would
// wait for ever, so the child leaves it alone. The process is told by its
// fork generation, not its id, which a child in a new PID namespace may
// share with its parent.
#pragma once

#include <cstdint>

#include "HALUtilities/ForkSafety.h"

namespace qv3377hal {

class OwningProcess {
public:
    bool isCurrent() const { return generation_ == processGeneration(); }

private:
    uint64_t generation_ = processGeneration();
};

}  // namespace qv3377hal
