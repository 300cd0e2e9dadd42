#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "qvapal/protons/cppNewDelete/memoryAllocation.h"
#include "qvapal/protons/thread/tThreadController.h"
#include "qvapal/quarks/clock.h"
#include "qvapal/quarks/synchronization.h"
#include "qvapal/quarks/thread.h"

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

std::string currentThreadName() {
    char name[16] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    return name;
}

// Records what the thread it ran on looked like.
struct Probe : iThread {
    std::string name;
    int policy = -1;
    int priority = -1;
    std::atomic<int> runs{0};
    void run() override {
        name = currentThreadName();
        sched_param parameter{};
        pthread_getschedparam(pthread_self(), &policy, &parameter);
        priority = parameter.sched_priority;
        runs.fetch_add(1);
    }
};

TEST(StatusCheckedAllocation, AllocatesOnlyWithACleanStatus) {
    tStatus status;
    int* value = new (status) int(7);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, 7);
    delete value;
    char* text = new (status) char[16];
    ASSERT_NE(text, nullptr);
    delete[] text;
    EXPECT_EQ(status.code, 0);

    tStatus failed;
    failed.code = -52005;
    EXPECT_EQ(new (failed) int(1), nullptr);
    EXPECT_EQ(new (failed) char[4], nullptr);
    EXPECT_EQ(failed.code, -52005);
}

TEST(StatusCheckedAllocation, ExhaustionIsMemoryFull) {
    tStatus status;
    // More than the address space can hold.
    volatile size_t huge = SIZE_MAX / 4;
    EXPECT_EQ(new (status) char[huge], nullptr);
    EXPECT_EQ(status.code, -52000);
    EXPECT_STREQ(status.component, "internal_");
}

TEST(PlatformMutex, IsRecursiveAndExcludesOtherThreads) {
    tMutex mutex;
    mutex.lock();
    mutex.lock();  // a second lock by the owner must not deadlock
    mutex.unlock();
    mutex.unlock();

    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                tMutexLock outer(mutex);
                tMutexLock inner(mutex);
                ++counter;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 40000);
}

TEST(MonotonicClock, CountsNanosecondsForward) {
    using atut::poller::Poller;
    const uint64_t before = Poller::nowNanoseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const uint64_t after = Poller::nowNanoseconds();
    EXPECT_GE(after - before, 2000000u);
    EXPECT_LT(after - before, 2000000000u);

    Poller::initializeClock();
    Poller::initializeClock();
    const auto settings = Poller::clockSettings();
    EXPECT_TRUE(settings.initialised);
    EXPECT_EQ(settings.coarse.first, 1u);
    EXPECT_EQ(settings.coarse.second, 0u);
    EXPECT_EQ(settings.fine.first, 1u);
    EXPECT_EQ(settings.fine.second, 1000u);
}

TEST(ThreadController, RunsTheTargetOnANamedOrdinaryThread) {
    Probe probe;
    tThreadController controller;
    tStatus status;
    controller.start(probe, 0, "a-name-longer-than-fifteen", status);
    ASSERT_EQ(status.code, 0);
    EXPECT_TRUE(controller.isStarted());
    controller.join();
    EXPECT_FALSE(controller.isStarted());
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.name, "a-name-longer-t");  // the system keeps 15 characters
    EXPECT_EQ(probe.policy, SCHED_OTHER);
    EXPECT_EQ(probe.priority, 0);
}

TEST(ThreadController, RealTimePriorityIsGrantedOrRefusedCleanly) {
    Probe probe;
    tThreadController controller;
    tStatus status;
    controller.start(probe, 10, "realtime", status);
    controller.join();
    if (status.code == 0) {
        EXPECT_EQ(probe.policy, SCHED_RR);
        EXPECT_EQ(probe.priority, 10);
        std::printf("SCHED_RR priority 10 was granted\n");
    } else {
        // Containers may refuse real-time scheduling even to root.
        EXPECT_EQ(status.code, -52008);
        EXPECT_EQ(probe.runs.load(), 0);
        EXPECT_FALSE(controller.isStarted());
        std::printf("SCHED_RR was refused: %lld\n", static_cast<long long>(status.code));
    }
}

TEST(ThreadController, StartJoinAndRestart) {
    Probe probe;
    tThreadController controller;
    controller.join();  // never started: nothing to wait for

    std::atomic<bool> release{false};
    struct Blocker : iThread {
        std::atomic<bool>* release;
        void run() override {
            while (!release->load()) std::this_thread::yield();
        }
    } blocker;
    blocker.release = &release;

    tStatus status;
    controller.start(blocker, 0, nullptr, status);
    ASSERT_EQ(status.code, 0);
    tStatus second;
    controller.start(probe, 0, "second", second);
    EXPECT_EQ(second.code, -52016);
    EXPECT_EQ(probe.runs.load(), 0);

    release = true;
    controller.join();
    controller.join();  // a joined thread is not joined again

    tStatus again;
    controller.start(probe, 0, "again", again);
    ASSERT_EQ(again.code, 0);
    controller.join();
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.name, "again");

    tStatus failed;
    failed.code = -52005;
    controller.start(probe, 0, "never", failed);
    EXPECT_FALSE(controller.isStarted());
    controller.join();
    EXPECT_EQ(probe.runs.load(), 1);
}

TEST(ScopedThread, RunsItsBodyUnderThePlatformName) {
    struct Context {
        std::string name;
        std::atomic<int> runs{0};
    } context;
    {
        tScopedThread thread(
            [](void* argument) -> void* {
                auto* context = static_cast<Context*>(argument);
                context->name = currentThreadName();
                context->runs.fetch_add(1);
                return nullptr;
            },
            &context);
        thread.join();
        thread.join();
    }
    EXPECT_EQ(context.runs.load(), 1);
    EXPECT_EQ(context.name, "internal_sdi_ha");
}

}  // namespace
