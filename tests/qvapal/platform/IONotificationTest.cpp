#include <gtest/gtest.h>
#include <linux/netlink.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "kerneldriver/Driver.h"
#include "qvapal/protons/io_notification/tIONotification.h"
#include "qvapal/quarks/descriptors.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

struct Received {
    uint64_t value = 0;
    uint32_t kind = 99;
    uint32_t size = 99;
    uint8_t payload[kIONotificationPayloadSize] = {};
};

Received readOne(tIONotificationReader& reader, tStatus& status, uint32_t timeoutMs = 5000) {
    Received got;
    got.value = reader.read(&got.kind, got.payload, &got.size, status, timeoutMs);
    return got;
}

// Every case runs over real netlink unicast where the process may send to
// another socket, and over the simulated socket in any case.
class IONotification : public ::testing::TestWithParam<bool> {
protected:
    size_t descriptorsBefore = qvsim::processDescriptors();
    std::unique_ptr<qvsim::Driver> simulator = std::make_unique<qvsim::Driver>();
    qvsim::Driver& driver = *simulator;

    void SetUp() override {
        driver.simulateNetlink(GetParam());
        if (!GetParam() && !driver.netlinkThroughKernel()) {
            GTEST_SKIP() << "netlink unicast between sockets needs privileges";
        }
    }
    void TearDown() override {
        simulator.reset();
        EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
    }
};

TEST_P(IONotification, TimesOutAndStops) {
    tStatus status;
    tIONotificationReader reader(4, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_NE(reader.getPortId(), 0u);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readOne(reader, status, 0).value, 0u);
    EXPECT_EQ(status.code, -52007);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));

    // Each stop ends exactly one read.
    tStatus stopping;
    reader.stop(stopping);
    reader.stop(stopping);
    for (int i = 0; i < 2; ++i) {
        Received stopped = readOne(reader, stopping);
        EXPECT_EQ(stopped.kind, kIONotificationStopped);
        EXPECT_EQ(stopped.size, 0u);
        EXPECT_EQ(stopped.value, 0u);
    }
    EXPECT_EQ(stopping.code, 0);
    readOne(reader, stopping, 10);
    EXPECT_EQ(stopping.code, -52007);

    tStatus earlier;
    earlier.code = -52005;
    reader.stop(earlier);
    EXPECT_EQ(readOne(reader, earlier, 0).kind, 99u);
    EXPECT_EQ(earlier.code, -52005);
}

TEST_P(IONotification, DeliversKindValueAndPayload) {
    tStatus status;
    tIONotificationReader reader(4, status);
    const char payload[] = "demoted";
    ASSERT_TRUE(driver.notify(reader.getPortId(), 1, 0x1122334455667788, payload, 8));
    ASSERT_TRUE(driver.notify(reader.getPortId(), 2, 42, nullptr, 0));

    Received first = readOne(reader, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(first.kind, 0u);
    EXPECT_EQ(first.value, 0x1122334455667788u);
    EXPECT_EQ(first.size, 8u);
    EXPECT_STREQ(reinterpret_cast<const char*>(first.payload), "demoted");
    Received second = readOne(reader, status);
    EXPECT_EQ(second.kind, 1u);
    EXPECT_EQ(second.value, 42u);
    EXPECT_EQ(second.size, 0u);
}

TEST_P(IONotification, SkipsControlAndTruncatedMessages) {
    tStatus status;
    tIONotificationReader reader(4, status);
    const uint32_t port = reader.getPortId();

    // Netlink's own messages (here "done") are not notifications.
    std::vector<uint8_t> control = qvsim::notificationDatagram(NLMSG_DONE, 1, 1, nullptr, 0);
    ASSERT_TRUE(driver.sendDatagram(port, control.data(), control.size()));
    // Too short for a netlink header.
    ASSERT_TRUE(driver.sendDatagram(port, "tiny", 4));
    // A full payload area first, so that stale bytes would show.
    std::vector<uint8_t> stale(32, 'S');
    ASSERT_TRUE(driver.notify(port, 1, 1, stale.data(), 32));
    // Says 32 payload bytes but ends after 4 of them.
    const std::vector<uint8_t> fresh(32, 'f');
    std::vector<uint8_t> cut = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 2, fresh.data(), 32);
    cut.resize(40);
    const uint32_t cutLength = 40;
    std::memcpy(cut.data(), &cutLength, 4);
    ASSERT_TRUE(driver.sendDatagram(port, cut.data(), cut.size()));
    // Header length beyond the bytes sent.
    std::vector<uint8_t> overlong = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 3, "x", 1);
    const uint32_t tooMuch = 200;
    std::memcpy(overlong.data(), &tooMuch, 4);
    ASSERT_TRUE(driver.sendDatagram(port, overlong.data(), overlong.size()));
    ASSERT_TRUE(driver.notify(port, 2, 4, "good", 4));

    EXPECT_EQ(readOne(reader, status).value, 1u);
    Received good = readOne(reader, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(good.value, 4u);
    EXPECT_EQ(good.size, 4u);
    EXPECT_EQ(std::memcmp(good.payload, "good", 4), 0);
}

TEST_P(IONotification, RejectsUnknownKindsAndOversizedPayloads) {
    tStatus status;
    tIONotificationReader reader(4, status);
    ASSERT_TRUE(driver.notify(reader.getPortId(), 3, 1, nullptr, 0));
    readOne(reader, status);
    EXPECT_EQ(status.code, -52002);

    std::vector<uint8_t> oversized = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 1, nullptr, 0);
    const uint32_t size = 33;
    std::memcpy(&oversized[32], &size, 4);
    ASSERT_TRUE(driver.sendDatagram(reader.getPortId(), oversized.data(), oversized.size()));
    tStatus second;
    readOne(reader, second);
    EXPECT_EQ(second.code, -52024);
}

TEST_P(IONotification, RegistersThroughTheDeviceFile) {
    const std::string path = driver.addDevice("qv3377k0");
    tStatus status;
    tIONotificationReader reader(8, status);
    tDeviceInterfaceProxy proxy;
    proxy.open(path.c_str(), status);

    tDemotionNotification never;
    never.unregisterNotification();
    EXPECT_EQ(driver.callCount(qvsim::Call::ioctl), 0u);

    tDemotionNotification notification;
    notification.registerNotification(reader, proxy, 77, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_TRUE(notification.isRegistered());

    auto requests = driver.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, 0x4010FF00u);
    ASSERT_EQ(requests[0].input.size(), 16u);
    uint64_t object;
    uint32_t port, id;
    std::memcpy(&object, &requests[0].input[0], 8);
    std::memcpy(&port, &requests[0].input[8], 4);
    std::memcpy(&id, &requests[0].input[12], 4);
    EXPECT_EQ(object, reinterpret_cast<uintptr_t>(static_cast<tIONotification*>(&notification)));
    EXPECT_EQ(port, reader.getPortId());
    EXPECT_EQ(id, 77u);

    ASSERT_TRUE(driver.deliver(77, 1, "p", 1));
    EXPECT_EQ(readOne(reader, status).value, object);

    notification.unregisterNotification();
    EXPECT_FALSE(notification.isRegistered());
    requests = driver.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].code, 0xFF01u);
    EXPECT_TRUE(driver.registrations().empty());

    driver.failCall(qvsim::Call::ioctl, EIO);
    tStatus refused;
    notification.registerNotification(reader, proxy, 78, refused);
    EXPECT_EQ(refused.code, -52008);
    EXPECT_FALSE(notification.isRegistered());
}

TEST_P(IONotification, StressOfNotificationsWithAConcurrentStop) {
    tStatus status;
    tThreadedIONotificationReader reader(64, status);
    constexpr uint64_t kCount = 500;
    std::atomic<uint64_t> received{0};
    uint64_t sum = 0;
    std::thread consumer([&] {
        tStatus readStatus;
        for (;;) {
            Received got = readOne(reader, readStatus);
            if (readStatus.isError() || got.kind == kIONotificationStopped) break;
            sum += got.value;
            received.fetch_add(1);
        }
        EXPECT_EQ(readStatus.code, 0);
    });
    uint64_t sent = 0;
    for (uint64_t i = 1; sent < kCount; ++i) {
        // A full receive queue refuses the datagram: let the reader catch up.
        while (!driver.notify(reader.getPortId(), 1, i, nullptr, 0)) std::this_thread::yield();
        ++sent;
    }
    while (received.load() < kCount) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    tStatus stopStatus;
    reader.stop(stopStatus);
    consumer.join();
    EXPECT_EQ(sum, kCount * (kCount + 1) / 2);
}

TEST_P(IONotification, ConstructionFailuresLeaveNoDescriptor) {
    tStatus status;
    tIONotificationReader reader(uint64_t{UINT32_MAX} + 1, status);
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(reader.getSocket(), -1);

    tStatus largest;
    tIONotificationReader big(UINT32_MAX, largest);
    EXPECT_EQ(largest.code, 0);
}

INSTANTIATE_TEST_SUITE_P(Netlink, IONotification, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Simulated" : "Kernel"; });

TEST(PollTimeout, LongTimeOutsAreClampedNotNegative) {
    EXPECT_EQ(pollTimeout(0), 0);
    EXPECT_EQ(pollTimeout(1500), 1500);
    EXPECT_EQ(pollTimeout(0x7FFFFFFF), INT_MAX);
    EXPECT_EQ(pollTimeout(0x80000000), INT_MAX);
    EXPECT_EQ(pollTimeout(0xFFFFFFFE), INT_MAX);
    EXPECT_EQ(pollTimeout(0xFFFFFFFF), -1);
}

}  // namespace
