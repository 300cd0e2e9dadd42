#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/device_notification/tNotificationDispatcher.h"
#include "qvapal/protons/io_notification/tIONotification.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;
using Clock = std::chrono::steady_clock;

struct Event {
    bool got = false;
    std::string device;
    std::string interface;
    bool arrived = false;
};

Event next(tNotificationDispatcher& dispatcher, tStatus& status) {
    Event event;
    tBasicString device, interface;
    dispatcher.waitForNotification(&event.got, device, interface, &event.arrived, status);
    event.device.assign(device.c_str(), device.length());
    event.interface.assign(interface.c_str(), interface.length());
    return event;
}

class Dispatcher : public ::testing::Test {
protected:
    qvsim::DeviceTree tree;
    size_t descriptorsBefore = qvsim::processDescriptors();

    void TearDown() override { EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore); }
};

TEST_F(Dispatcher, ReportsOnlyLaterEntriesOfInterest) {
    tree.addDeviceEntry("early\\qv3377k\\");
    const char* names[] = {"qv3377k", "other"};
    tStatus status;
    tNotificationDispatcher dispatcher(names, 2, status);
    ASSERT_EQ(status.code, 0);

    tree.addDeviceEntry("mod1\\uninteresting\\");
    tree.addDeviceEntry("mod1\\qv3377k\\0");
    tree.addDeviceEntry("mod2\\other\\");
    tree.removeDeviceEntry("mod1\\qv3377k\\0");

    Event first = next(dispatcher, status);
    EXPECT_TRUE(first.got);
    EXPECT_TRUE(first.arrived);
    EXPECT_EQ(first.device, "mod1");
    EXPECT_EQ(first.interface, "qv3377k");
    Event second = next(dispatcher, status);
    EXPECT_EQ(second.device, "mod2");
    EXPECT_EQ(second.interface, "other");
    Event removed = next(dispatcher, status);
    EXPECT_TRUE(removed.got);
    EXPECT_FALSE(removed.arrived);
    EXPECT_EQ(removed.device, "mod1");
    EXPECT_EQ(status.code, 0);

    dispatcher.stop();
    Event stopped = next(dispatcher, status);
    EXPECT_FALSE(stopped.got);
}

TEST_F(Dispatcher, FollowsTheModuleDirectoryComingAndGoing) {
    const char* names[] = {"qv3377k"};
    tStatus status;
    tNotificationDispatcher dispatcher(names, 1, status);

    // The directory appears with entries already in it.
    tree.createModuleDirectory();
    tree.addDeviceEntry("a\\qv3377k\\");
    tree.addDeviceEntry("b\\qv3377k\\");
    std::vector<std::string> devices;
    for (int i = 0; i < 2; ++i) {
        Event event = next(dispatcher, status);
        EXPECT_TRUE(event.arrived);
        devices.push_back(event.device);
    }
    std::sort(devices.begin(), devices.end());
    EXPECT_EQ(devices, (std::vector<std::string>{"a", "b"}));

    tree.removeModuleDirectory();
    EXPECT_FALSE(next(dispatcher, status).arrived);
    EXPECT_FALSE(next(dispatcher, status).arrived);

    tree.createModuleDirectory();
    tree.addDeviceEntry("c\\qv3377k\\");
    Event back = next(dispatcher, status);
    EXPECT_TRUE(back.arrived);
    EXPECT_EQ(back.device, "c");
    EXPECT_EQ(status.code, 0);
}

TEST_F(Dispatcher, AnEmptyNameWatchesEveryEntryOfTheModuleDirectory) {
    tree.createModuleDirectory();
    const char* names[] = {"qv3377k", ""};
    tStatus status;
    tNotificationDispatcher dispatcher(names, 2, status);

    // Files in "/dev" itself are not device interfaces.
    tree.writeFile("dev/unrelated", "");
    tree.addDeviceEntry("plain");
    tree.addDeviceEntry("one\\rest");
    tree.addDeviceEntry("dev\\any\\");

    Event plain = next(dispatcher, status);
    EXPECT_EQ(plain.device, "");
    EXPECT_EQ(plain.interface, "plain");
    Event one = next(dispatcher, status);
    EXPECT_EQ(one.device, "");
    EXPECT_EQ(one.interface, "one");
    Event any = next(dispatcher, status);
    EXPECT_EQ(any.device, "dev");
    EXPECT_EQ(any.interface, "any");
}

TEST_F(Dispatcher, StopEndsWaitsPromptly) {
    const char* names[] = {"qv3377k"};
    tStatus status;
    {
        tNotificationDispatcher dispatcher(names, 1, status);
        dispatcher.stop();
        dispatcher.stop();
        bool got = true;
        dispatcher.waitForAnyNotification(&got, status);
        EXPECT_FALSE(got);
    }

    tNotificationDispatcher dispatcher(names, 1, status);
    std::atomic<bool> returned{false};
    Clock::time_point end;
    std::thread waiter([&] {
        bool got = true;
        dispatcher.waitForAnyNotification(&got, status);
        end = Clock::now();
        EXPECT_FALSE(got);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    const auto stopAt = Clock::now();
    dispatcher.stop();
    waiter.join();
    EXPECT_LT(end - stopAt, std::chrono::milliseconds(100));
    EXPECT_EQ(status.code, 0);

    // Later waits return at once too.
    bool got = true;
    dispatcher.waitForAnyNotification(&got, status);
    EXPECT_FALSE(got);
}

TEST_F(Dispatcher, AnErrorBeforehandMakesWaitsReturn) {
    const char* names[] = {"qv3377k"};
    tStatus status;
    status.code = -52005;
    tNotificationDispatcher dispatcher(names, 1, status);
    bool got = true;
    dispatcher.waitForAnyNotification(&got, status);
    EXPECT_FALSE(got);
    EXPECT_EQ(status.code, -52005);
}

// Hosts often hold more than 1024 descriptors; the wait must not depend on
// descriptor numbers below that.
TEST_F(Dispatcher, WaitsWorkWithDescriptorsAbove1024) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 1300) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1300);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < 1300) GTEST_SKIP() << "descriptor limit too low";
    std::vector<int> held;
    for (int i = 0; i < 1100; ++i) held.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));

    const char* names[] = {"qv3377k"};
    tStatus status;
    {
        tNotificationDispatcher dispatcher(names, 1, status);
        tree.addDeviceEntry("high\\qv3377k\\");
        Event event = next(dispatcher, status);
        EXPECT_TRUE(event.got);
        EXPECT_EQ(event.device, "high");
        std::thread stopper([&] { dispatcher.stop(); });
        bool got = true;
        dispatcher.waitForAnyNotification(&got, status);
        stopper.join();
        EXPECT_FALSE(got);
    }
    {
        // The notification reader waits the same way.
        tIONotificationReader reader(1, status);
        EXPECT_GT(reader.getSocket(), 1024);
        std::thread stopper([&] { reader.stop(status); });
        uint32_t kind = 0, size = 0;
        uint8_t payload[kIONotificationPayloadSize];
        reader.read(&kind, payload, &size, status, kIONotificationWaitForever);
        stopper.join();
        EXPECT_EQ(kind, kIONotificationStopped);
    }
    EXPECT_EQ(status.code, 0);
    for (int fd : held) close(fd);
}

TEST_F(Dispatcher, StressOfArrivalsAndRemovalsWithAConcurrentStop) {
    tree.createModuleDirectory();
    const char* names[] = {"qv3377k"};
    tStatus status;
    tNotificationDispatcher dispatcher(names, 1, status);
    constexpr int kRounds = 200;

    std::atomic<int> arrivals{0}, removals{0};
    std::thread waiter([&] {
        tStatus waitStatus;
        for (;;) {
            Event event = next(dispatcher, waitStatus);
            if (!event.got) break;
            (event.arrived ? arrivals : removals).fetch_add(1);
        }
        EXPECT_EQ(waitStatus.code, 0);
    });
    for (int i = 0; i < kRounds; ++i) {
        const std::string name = "m" + std::to_string(i) + "\\qv3377k\\";
        tree.addDeviceEntry(name);
        tree.removeDeviceEntry(name);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while ((arrivals < kRounds || removals < kRounds) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    dispatcher.stop();
    waiter.join();
    EXPECT_EQ(arrivals.load(), kRounds);
    EXPECT_EQ(removals.load(), kRounds);
}

}  // namespace
