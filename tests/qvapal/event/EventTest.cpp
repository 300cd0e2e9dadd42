// The platform event: manual-reset events release every waiter and stay
// set; auto-reset events release one waiter per set and clear themselves.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "qvapal/quarks/event.h"

namespace {

using nQVAPALS100::tStatus;
using sdihal::nQVAPAL000::tEvent;

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet) {
    tStatus status;
    tEvent event(false, false, status);
    ASSERT_EQ(status.code, 0);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            if (event.wait()) ++released;
        });
    }
    event.set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, 4);
    EXPECT_TRUE(event.wait());  // still set
    event.reset();
    event.set();
    EXPECT_TRUE(event.wait());
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
    tStatus status;
    tEvent event(true, true, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_TRUE(event.wait());  // consumes the initial signal
    std::atomic<int> released{0};
    std::thread first([&] {
        event.wait();
        ++released;
    });
    std::thread second([&] {
        event.wait();
        ++released;
    });
    event.set();
    while (released.load() < 1) std::this_thread::yield();
    event.set();
    first.join();
    second.join();
    EXPECT_EQ(released, 2);
}

TEST(Event, TimedWaitEndsWhenSetOrWhenTheTimeIsUp) {
    tStatus status;
    tEvent event(true, false, status);
    ASSERT_EQ(status.code, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.waitFor(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    std::thread setter([&] { event.set(); });
    EXPECT_TRUE(event.waitFor(60000));
    setter.join();
    EXPECT_FALSE(event.waitFor(0));  // the auto-reset event cleared itself
}

TEST(Event, AStatusHoldingAnErrorCreatesNothing) {
    tStatus status;
    status.code = -50000;
    tEvent event(false, true, status);
    EXPECT_FALSE(event.created());
    EXPECT_EQ(status.code, -50000);
}

}  // namespace
