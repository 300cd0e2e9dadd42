// The export frame allocates nothing on the success path: every operator
// new of this program is counted while a frame runs.
#include <gtest/gtest.h>

#include "HALUtilities/ErrorHandling.h"
#include "WGenHALImpl/wgenhalHandle.h"
#include "support/RefusingNew.h"

namespace {

using qvtest::allocations::count;
using qvtest::allocations::counting;

template <class Body>
int allocationsDuring(Body&& body) {
    count = 0;
    counting = true;
    body();
    counting = false;
    return count;
}

struct Session {
    int calls = 0;
    void method(int n) { calls += n; }
};

// Converted as a trig_ export converts its handle.
Session* trigSession(uint64_t handle) {
    return qv3377hal::objectFromHandle<Session>(handle, qv3377hal::HandleKind::trigContext,
                                                qv3377hal::kSessionPtrRefusal);
}

TEST(FrameAllocation, SuccessPathsAllocateNothing) {
    Session session;
    const uint64_t handle = reinterpret_cast<uint64_t>(&session);
    qv3377hal::addHandle(handle, qv3377hal::HandleKind::trigContext);
    qverr::Status status;
    int32_t code = -1;
    EXPECT_EQ(allocationsDuring([&] {
                  code = qv3377hal::returnCodeCall([&] {
                      qv3377hal::checkNotNull(&status);
                      trigSession(handle)->method(1);
                  });
                  qv3377hal::statusLastCall(&status, [&] { trigSession(handle)->method(2); });
              }),
              0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(session.calls, 3);

    uint64_t wgen = 0;
    EXPECT_EQ(allocationsDuring([&] {
                  wgen_open(0, handle, &wgen, &status);
                  wgen_close(wgen);
              }),
              0);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(wgen, handle);

    // The counter sees allocations.
    // A call of the function itself: a new-expression may be optimised away.
    void* volatile kept = nullptr;
    EXPECT_EQ(allocationsDuring([&] { kept = ::operator new(sizeof(int)); }), 1);
    ::operator delete(kept);
}

}  // namespace
