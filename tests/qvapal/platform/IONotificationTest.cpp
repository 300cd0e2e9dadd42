#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "kerneldriver/Driver.h"
#include "qvapal/protons/io_notification/tIONotification.h"
#include "qvapal/quarks/descriptors.h"
#include "qverr/Codes.h"
#include "support/RaiseSite.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

struct Received {
    uint64_t value = 0;
    uint32_t kind = 99;
    uint32_t size = 99;
    uint8_t payload[kIONotificationPayloadSize] = {};
};

// Every case runs over real netlink unicast where the process may send to
// another socket's port, and over the simulated socket in any case.
class IONotification : public ::testing::TestWithParam<bool> {
protected:
    size_t descriptorsBefore = qvsim::processDescriptors();
    std::unique_ptr<qvsim::Driver> simulator = std::make_unique<qvsim::Driver>();
    qvsim::Driver& driver = *simulator;
    tStatus status;
    std::unique_ptr<tIONotificationReader> reader;

    void SetUp() override {
        driver.simulateNetlink(GetParam());
        if (!GetParam() && !driver.netlinkThroughKernel()) {
            GTEST_SKIP() << "netlink unicast between sockets needs privileges";
        }
        reader = std::make_unique<tThreadedIONotificationReader>(64, status);
        ASSERT_EQ(status.code, 0);
    }
    void TearDown() override {
        reader.reset();
        simulator.reset();
        EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
    }
    Received read(tStatus& readStatus, uint32_t timeoutMs = 5000) {
        Received got;
        got.value = reader->read(&got.kind, got.payload, &got.size, readStatus, timeoutMs);
        return got;
    }
    // A read that `rescue` ends if it is still stuck after three seconds, so
    // that the test fails instead of hanging.
    void readOrRescue(tStatus& readStatus, uint32_t timeoutMs, std::function<void()> rescue) {
        std::atomic<bool> returned{false};
        std::thread rescuer([&] {
            for (int i = 0; i < 300 && !returned.load(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!returned.load()) rescue();
        });
        read(readStatus, timeoutMs);
        returned = true;
        rescuer.join();
    }
    bool send(std::vector<uint8_t> datagram) {
        return driver.sendDatagram(reader->getPortId(), datagram.data(), datagram.size());
    }
};

TEST_P(IONotification, TimesOutAndStopsOneReadPerStop) {
    read(status, 0);
    EXPECT_EQ(status.code, qverr::qvapalerr_operationTimedOut);
    EXPECT_EQ(qvtest::raiseSite(status),
              "qvapal/protons/io_notification/linuxU/tIONotification:199");

    tStatus stopping;
    reader->stop(stopping);
    reader->stop(stopping);
    for (int i = 0; i < 2; ++i) {
        Received stopped = read(stopping);
        EXPECT_EQ(stopped.kind, kIONotificationStopped);
        EXPECT_EQ(stopped.size, 0u);
        EXPECT_EQ(stopped.value, 0u);
    }
    read(stopping, 10);
    EXPECT_EQ(stopping.code, qverr::qvapalerr_operationTimedOut);

    // Stops beyond what the pipe holds are refused, never waited for.
    tStatus flooded;
    for (int i = 0; i < 1000000 && !flooded.isError(); ++i) reader->stop(flooded);
    EXPECT_EQ(flooded.code, qverr::kStatusIOError);
    EXPECT_EQ(qvtest::raiseSite(flooded),
              "qvapal/protons/io_notification/linuxU/tIONotification:216");
}

TEST_P(IONotification, DeliversKindValueAndPayloadSkippingWhatIsNoNotification) {
    std::vector<uint8_t> cut = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 2, nullptr, 32);
    cut.resize(40);  // says 32 payload bytes, holds 4
    const uint32_t cutLength = 40;
    std::memcpy(cut.data(), &cutLength, 4);
    std::vector<uint8_t> overlong = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 3, nullptr, 0);
    const uint32_t tooMuch = 200;
    std::memcpy(overlong.data(), &tooMuch, 4);

    const std::vector<uint8_t> full(32, 'S');
    ASSERT_TRUE(driver.notify(reader->getPortId(), 1, 0x1122334455667788, full.data(), 32));
    ASSERT_TRUE(send(qvsim::notificationDatagram(NLMSG_DONE, 1, 9, nullptr, 0)));
    ASSERT_TRUE(send({'t', 'i', 'n', 'y'}));
    ASSERT_TRUE(send(cut));
    ASSERT_TRUE(send(overlong));
    // Only types 1 to 4 are netlink's own.
    ASSERT_TRUE(send(qvsim::notificationDatagram(0, 2, 4, "good", 4)));
    ASSERT_TRUE(driver.notify(reader->getPortId(), 1, 8, nullptr, 0));

    Received first = read(status);
    EXPECT_EQ(first.kind, 0u);
    EXPECT_EQ(first.value, 0x1122334455667788u);
    EXPECT_EQ(first.size, 32u);
    Received good = read(status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(good.kind, 1u);
    EXPECT_EQ(good.value, 4u);
    EXPECT_EQ(good.size, 4u);
    EXPECT_EQ(std::memcmp(good.payload, "good", 4), 0);
    EXPECT_EQ(read(status).value, 8u);

    // Nothing but a control message: the read still ends at its time-out.
    ASSERT_TRUE(send(qvsim::notificationDatagram(NLMSG_NOOP, 1, 9, nullptr, 0)));
    tStatus quiet;
    readOrRescue(quiet, 50, [&] { driver.notify(reader->getPortId(), 1, 5, nullptr, 0); });
    EXPECT_EQ(quiet.code, qverr::qvapalerr_operationTimedOut);
}

TEST_P(IONotification, RejectsUnknownKindsAndOversizedPayloads) {
    ASSERT_TRUE(driver.notify(reader->getPortId(), 3, 1, nullptr, 0));
    read(status);
    EXPECT_EQ(status.code, qverr::qvapalerr_featureUnsupported);
    EXPECT_EQ(qvtest::raiseSite(status),
              "qvapal/protons/io_notification/linuxU/tIONotification:154");

    std::vector<uint8_t> oversized = qvsim::notificationDatagram(NLMSG_MIN_TYPE, 1, 1, nullptr, 0);
    const uint32_t size = 33;
    std::memcpy(&oversized[32], &size, 4);
    ASSERT_TRUE(send(oversized));
    tStatus second;
    read(second);
    EXPECT_EQ(second.code, qverr::kStatusIOError);
    EXPECT_EQ(qvtest::raiseSite(second),
              "qvapal/protons/io_notification/linuxU/tIONotification:160");
}

TEST_P(IONotification, ReportsAnErrorPendingOnTheSocket) {
    // A refused datagram leaves an error on a connected UDP socket, as lost
    // notifications leave one on a netlink socket: poll() then reports it
    // without input.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);  // nothing listens on that port any more
    const int refused = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(refused, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::send(refused, "x", 1, 0), 1);
    pollfd pending{refused, 0, 0};
    if (::poll(&pending, 1, 2000) != 1 || !(pending.revents & POLLERR)) {
        ::close(refused);
        GTEST_SKIP() << "no error reported for a refused datagram";
    }
    ASSERT_EQ(::dup2(refused, reader->getSocket()), reader->getSocket());
    ::close(refused);

    readOrRescue(status, 5000, [&] {
        tStatus stopping;
        reader->stop(stopping);
    });
    EXPECT_EQ(status.code, qverr::kStatusIOError);
}

TEST_P(IONotification, RegistersThroughTheDeviceFile) {
    tDeviceInterfaceProxy proxy;
    proxy.open(driver.addDevice("qv3377k0").c_str(), status);
    tDemotionNotification notification;
    notification.unregisterNotification();  // never registered: the driver is not asked
    EXPECT_EQ(driver.callCount(qvsim::Call::ioctl), 0u);

    notification.registerNotification(*reader, proxy, 77, status);
    ASSERT_EQ(status.code, 0);
    auto requests = driver.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, 0x4010FF00u);
    ASSERT_EQ(requests[0].input.size(), 16u);
    tIONotificationRegistration sent;
    std::memcpy(&sent, requests[0].input.data(), 16);
    const uint64_t object =
        reinterpret_cast<uintptr_t>(static_cast<tIONotification*>(&notification));
    EXPECT_EQ(sent.object, object);
    EXPECT_EQ(sent.portId, reader->getPortId());
    EXPECT_EQ(sent.id, 77u);

    ASSERT_TRUE(driver.deliver(77, 1, "p", 1));
    EXPECT_EQ(read(status).value, object);

    notification.unregisterNotification();
    EXPECT_FALSE(notification.isRegistered());
    EXPECT_EQ(driver.requests().back().code, 0xFF01u);
    EXPECT_TRUE(driver.registrations().empty());

    driver.failCall(qvsim::Call::ioctl, EIO);
    tStatus refused;
    notification.registerNotification(*reader, proxy, 78, refused);
    EXPECT_EQ(refused.code, qverr::qvapalerr_osFault);
    EXPECT_FALSE(notification.isRegistered());
}

TEST_P(IONotification, StressOfNotificationsWithAConcurrentStop) {
    constexpr uint64_t kCount = 500;
    std::atomic<uint64_t> received{0};
    uint64_t sum = 0;
    std::thread consumer([&] {
        for (;;) {
            Received got = read(status);
            if (status.isError() || got.kind == kIONotificationStopped) break;
            sum += got.value;
            received.fetch_add(1);
        }
    });
    for (uint64_t i = 1; i <= kCount; ++i) {
        // A full receive queue refuses the datagram: let the reader catch up.
        while (!driver.notify(reader->getPortId(), 1, i, nullptr, 0)) std::this_thread::yield();
    }
    while (received.load() < kCount) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    tStatus stopStatus;
    reader->stop(stopStatus);
    consumer.join();
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(sum, kCount * (kCount + 1) / 2);
}

INSTANTIATE_TEST_SUITE_P(Netlink, IONotification, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Simulated" : "Kernel"; });

TEST(IONotificationReader, RefusesAQueueBeyond32Bits) {
    qvsim::Driver driver;
    tStatus status;
    tIONotificationReader reader(uint64_t{1} << 32, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(qvtest::raiseSite(status),
              "qvapal/protons/io_notification/linuxU/tIONotification:51");
}

TEST(PollTimeout, LongTimeOutsAreClampedNotNegative) {
    EXPECT_EQ(pollTimeout(1500), 1500);
    EXPECT_EQ(pollTimeout(0x80000000), INT_MAX);
    EXPECT_EQ(pollTimeout(0xFFFFFFFE), INT_MAX);
    EXPECT_EQ(pollTimeout(0xFFFFFFFF), -1);
}

}  // namespace
