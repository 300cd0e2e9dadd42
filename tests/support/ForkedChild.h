// What a test program that links ForkedChild.cpp may change: a case whose
// forked children must pass the leak check at their exit turns it on before
// it forks, once the process's other threads have settled (see
// otherThreadsSettle), and off again afterwards.
#pragma once

namespace qvtest {
extern bool leakCheckInForkedChildren;
}  // namespace qvtest
