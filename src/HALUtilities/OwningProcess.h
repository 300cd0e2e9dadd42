// The process that built an object served by threads of its own. A forked
// child holds a copy of such an object without those threads, and with the
// locks they may have held at the fork: stopping, joining or locking it would
// wait for ever, so the child leaves it alone.
#pragma once

#include <unistd.h>

namespace qv3377hal {

class OwningProcess {
public:
    bool isCurrent() const { return pid_ == getpid(); }

private:
    pid_t pid_ = getpid();
};

}  // namespace qv3377hal
