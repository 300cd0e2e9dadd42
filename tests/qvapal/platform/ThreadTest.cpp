#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "qvapal/protons/cppNewDelete/memoryAllocation.h"
#include "qvapal/protons/thread/tThreadController.h"
#include "qvapal/quarks/synchronization.h"
#include "qverr/Codes.h"
#include "support/EndsWithin.h"
#include "support/RaiseSite.h"

// Huge requests must come back as null rather than abort the test process.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

// Records the thread it ran on; blocks until released when asked to.
struct Probe : iThread {
    std::string name;
    int policy = -1;
    int priority = -1;
    std::atomic<int> runs{0};
    std::atomic<bool> release{true};
    void run() override {
        char text[16] = {};
        prctl(PR_GET_NAME, text, 0, 0, 0);
        name = text;
        sched_param parameter{};
        pthread_getschedparam(pthread_self(), &policy, &parameter);
        priority = parameter.sched_priority;
        while (!release.load()) std::this_thread::yield();
        runs.fetch_add(1);
    }
};

TEST(StatusCheckedAllocation, NullWithAnEarlierErrorOrWhenMemoryRunsOut) {
    tStatus status;
    int* value = new (status) int(7);
    ASSERT_NE(value, nullptr);
    delete value;

    tStatus failed;
    failed.code = qverr::qvapalerr_invalidParameter;
    EXPECT_EQ(new (failed) char[4], nullptr);
    EXPECT_EQ(failed.code, qverr::qvapalerr_invalidParameter);

    volatile size_t huge = SIZE_MAX / 4;
    EXPECT_EQ(new (status) char[huge], nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_EQ(qvtest::raiseSite(status), "qvapal/protons/cppNewDelete/memoryAllocation:329");
    tStatus single;
    EXPECT_EQ(operator new(huge, single), nullptr);
    EXPECT_EQ(qvtest::raiseSite(single), "qvapal/protons/cppNewDelete/memoryAllocation:274");
}

TEST(PlatformMutex, IsRecursive) {
    // Shared with the threads, which may outlive the test if they hang.
    auto mutex = std::make_shared<tMutex>();
    ASSERT_TRUE(qvtest::endsWithin(qvtest::kHangGuard, [mutex] {
        tMutexLock outer(*mutex);
        tMutexLock inner(*mutex);  // the owner locking again must not deadlock
    })) << "the owner of a platform mutex could not lock it again";
    // Released as often as taken, it is free for another thread.
    ASSERT_TRUE(qvtest::endsWithin(qvtest::kHangGuard, [mutex] { tMutexLock again(*mutex); }))
        << "a platform mutex stayed locked after its owner released it";
}

TEST(ThreadController, RunsOnANamedOrdinaryThreadOnceAtATimeAndRestarts) {
    Probe blocker, probe;
    blocker.release = false;
    tThreadController controller;
    controller.join();  // never started: nothing to wait for

    tStatus status;
    controller.start(blocker, 0, "a-name-longer-than-fifteen", status);
    ASSERT_EQ(status.code, 0);
    tStatus second;
    controller.start(probe, 0, "second", second);
    EXPECT_EQ(second.code, qverr::kStatusAlreadyStarted);
    EXPECT_EQ(qvtest::raiseSite(second), "qvapal/protons/thread/tThreadController:56");

    blocker.release = true;
    controller.join();
    controller.join();  // joining a joined thread again is undefined: must be a no-op
    EXPECT_EQ(blocker.name, "a-name-longer-t");  // the system keeps 15 characters
    EXPECT_EQ(blocker.policy, SCHED_OTHER);
    EXPECT_EQ(blocker.priority, 0);
    controller.start(probe, 0, "again", status);
    ASSERT_EQ(status.code, 0);
    controller.join();
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.name, "again");
}

TEST(ScopedThread, RunsItsBodyUnderThePlatformName) {
    std::string name;
    {
        tScopedThread thread(
            [](void* argument) -> void* {
                char text[16] = {};
                prctl(PR_GET_NAME, text, 0, 0, 0);
                *static_cast<std::string*>(argument) = text;
                return nullptr;
            },
            &name);
    }
    EXPECT_EQ(name, "internal_sdi_ha");
}

}  // namespace
