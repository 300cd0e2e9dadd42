#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/device_notification/tNotificationDispatcher.h"
#include "qvapal/protons/io_notification/tIONotification.h"
#include "support/EndsWithin.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;
using Clock = std::chrono::steady_clock;

// "+device/interface" for an arrival, "-device/interface" for a removal,
// "" when the wait ended without an event.
std::string next(tNotificationDispatcher& dispatcher, tStatus& status) {
    bool got = false, arrived = false;
    tBasicString device, interface;
    dispatcher.waitForNotification(&got, device, interface, &arrived, status);
    if (!got) return "";
    return (arrived ? "+" : "-") + std::string(device.c_str()) + "/" + interface.c_str();
}

class Dispatcher : public ::testing::Test {
protected:
    qvsim::DeviceTree tree;
    size_t descriptorsBefore = qvsim::processDescriptors();
    const char* names[2] = {"qv3377k", "other"};
    tStatus status;

    void TearDown() override {
        EXPECT_EQ(status.code, 0);
        EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
    }
};

TEST_F(Dispatcher, ReportsOnlyLaterEntriesOfInterestInOrder) {
    tree.addDeviceEntry("early\\qv3377k\\");
    tNotificationDispatcher dispatcher(names, 2, status);
    tree.addDeviceEntry("mod1\\uninteresting\\");
    tree.addDeviceEntry("mod1\\qv3377k\\0");
    tree.addDeviceEntry("mod2\\other\\");
    tree.removeDeviceEntry("mod1\\qv3377k\\0");
    EXPECT_EQ(next(dispatcher, status), "+mod1/qv3377k");
    EXPECT_EQ(next(dispatcher, status), "+mod2/other");
    EXPECT_EQ(next(dispatcher, status), "-mod1/qv3377k");
}

TEST_F(Dispatcher, FollowsTheModuleDirectoryComingAndGoing) {
    tNotificationDispatcher dispatcher(names, 1, status);
    // The directory appears with entries already in it.
    tree.addDeviceEntry("a\\qv3377k\\");
    tree.addDeviceEntry("b\\qv3377k\\");
    std::vector<std::string> events{next(dispatcher, status), next(dispatcher, status)};
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"+a/qv3377k", "+b/qv3377k"}));

    tree.removeModuleDirectory();
    EXPECT_EQ(next(dispatcher, status)[0], '-');
    EXPECT_EQ(next(dispatcher, status)[0], '-');
    tree.addDeviceEntry("c\\qv3377k\\");
    EXPECT_EQ(next(dispatcher, status), "+c/qv3377k");
}

TEST_F(Dispatcher, AnEmptyNameWatchesEveryEntryOfTheModuleDirectoryOnly) {
    tree.createModuleDirectory();
    names[1] = "";
    tNotificationDispatcher dispatcher(names, 2, status);
    tree.writeFile("dev/unrelated", "");  // "/dev" itself holds no device interfaces
    tree.addDeviceEntry("plain");
    tree.addDeviceEntry("one\\rest");
    tree.addDeviceEntry("dev\\any\\");
    EXPECT_EQ(next(dispatcher, status), "+/plain");
    EXPECT_EQ(next(dispatcher, status), "+/one");
    EXPECT_EQ(next(dispatcher, status), "+dev/any");
}

TEST_F(Dispatcher, StopEndsTheCurrentAndEveryLaterWaitPromptly) {
    tNotificationDispatcher dispatcher(names, 1, status);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // most often mid-wait
        dispatcher.stop();
        dispatcher.stop();
    });
    // The wait has no time-out of its own: only the stop can end it.
    std::string first = "unset";
    const bool ended =
        qvtest::endsWithin(qvtest::kHangGuard, [&] { first = next(dispatcher, status); });
    stopper.join();
    ASSERT_TRUE(ended) << "a stop left the wait in progress waiting";
    EXPECT_EQ(first, "");
    EXPECT_EQ(next(dispatcher, status), "");
}

// Hosts often hold more than 1024 descriptors; no wait may depend on lower
// descriptor numbers.
TEST_F(Dispatcher, WaitsWorkWithDescriptorsAbove1024) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 1300));
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 1300) GTEST_SKIP() << "descriptor limit too low";
    std::vector<int> held;
    for (int i = 0; i < 1100; ++i) held.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    {
        tNotificationDispatcher dispatcher(names, 1, status);
        tree.addDeviceEntry("high\\qv3377k\\");
        EXPECT_EQ(next(dispatcher, status), "+high/qv3377k");
        std::thread stopper([&] { dispatcher.stop(); });
        EXPECT_EQ(next(dispatcher, status), "");
        stopper.join();
    }
    {
        tIONotificationReader reader(1, status);
        EXPECT_GT(reader.getSocket(), 1024);
        std::thread stopper([&] {
            tStatus stopStatus;
            reader.stop(stopStatus);
        });
        uint32_t kind = 0, size = 0;
        uint8_t payload[kIONotificationPayloadSize];
        reader.read(&kind, payload, &size, status, kIONotificationWaitForever);
        stopper.join();
        EXPECT_EQ(kind, kIONotificationStopped);
    }
    for (int fd : held) close(fd);
}

TEST_F(Dispatcher, StressOfArrivalsAndRemovalsWithAConcurrentStop) {
    tree.createModuleDirectory();
    tNotificationDispatcher dispatcher(names, 1, status);
    constexpr int kRounds = 200;
    std::atomic<int> arrivals{0}, removals{0};
    std::thread waiter([&] {
        for (std::string event; !(event = next(dispatcher, status)).empty();) {
            (event[0] == '+' ? arrivals : removals).fetch_add(1);
        }
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
