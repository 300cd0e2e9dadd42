// Linked into test programs whose cases fork: a forked child skips the leak
// check at its exit, since the check takes the sanitizer's allocator lock,
// which a thread that stayed in the parent may have held at the fork, unless
// the case asks for it (ForkedChild.h).
#include "support/ForkedChild.h"

#include <unistd.h>

namespace qvtest {
bool leakCheckInForkedChildren = false;
}  // namespace qvtest

namespace {
const pid_t testProcess = getpid();
}  // namespace

extern "C" int __lsan_is_turned_off() {
    return getpid() != testProcess && !qvtest::leakCheckInForkedChildren;
}
