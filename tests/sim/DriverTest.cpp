// The simulated driver as later tests rely on it: request decoding and
// checks, dispatch by request code, scripted replies and injected faults.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "kerneldriver/Driver.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/system/tSystemInterface.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;
using qvsim::Call;

constexpr uint32_t kRead = 0x00204201;
constexpr uint32_t kWrite = 0x00204202;

class SimulatedDriver : public ::testing::Test {
protected:
    qvsim::Driver driver;
    tDeviceInterfaceProxy proxy;

    void SetUp() override {
        tStatus status;
        proxy.open(driver.addDevice("dev0").c_str(), status);
        ASSERT_EQ(status.code, 0);
    }
    // The errno of a raw request block sent to the device.
    int rawRequest(uint32_t code, tKernelRequestBlock* block) {
        errno = 0;
        return systemInterface().ioctl(proxy.descriptor(), code, block) == 0 ? 0 : errno;
    }
};

TEST_F(SimulatedDriver, ChecksTheRequestBlock) {
    uint32_t in = 0, out = 0;
    tKernelRequestBlock good{reinterpret_cast<uintptr_t>(&in), reinterpret_cast<uintptr_t>(&out), 4, 4, 0, 0};
    tKernelRequestBlock block = good;
    EXPECT_EQ(rawRequest(kRead, &block), 0);
    EXPECT_EQ(block.bytesReturned, 4u);

    EXPECT_EQ(rawRequest(0x00104201, &(block = good)), ENOTTY);  // not a 32-byte block
    EXPECT_EQ(rawRequest(kRead, nullptr), EFAULT);
    block = good;
    block.reserved = 1;
    EXPECT_EQ(rawRequest(kRead, &block), EINVAL);
    block = good;
    block.bytesReturned = 4;
    EXPECT_EQ(rawRequest(kRead, &block), EINVAL);
    block = good;
    block.outBuffer = 0;
    EXPECT_EQ(rawRequest(kRead, &block), EFAULT);
    block = good;
    block.inSize = 1u << 30;
    EXPECT_EQ(rawRequest(kRead, &block), EINVAL);

    // A handler that declares its block sizes refuses others.
    driver.onRequest(kWrite, [](qvsim::Request&) { return 0; }, 8, 4);
    tStatus status;
    uint64_t wide = 0;
    proxy.ioctl(kWrite, &wide, 8, &out, 4, status);
    EXPECT_EQ(status.code, 0);
    proxy.ioctl(kWrite, &in, 4, &out, 4, status);
    EXPECT_EQ(status.code, -52005);

    const auto requests = driver.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().error, EINVAL);
    EXPECT_EQ(requests.back().inSize, 4u);
}

TEST_F(SimulatedDriver, HandlersSeeTheBlocksAndMayCallBack) {
    // Unwritten output fields keep what the caller put there.
    driver.onRequest(kRead, [this](qvsim::Request& request) {
        EXPECT_EQ(request.device, "dev0");
        EXPECT_EQ(request.in<uint32_t>(4), 0u);  // outside the block: zero
        request.out<uint16_t>(0, request.in<uint16_t>(0));
        EXPECT_FALSE(request.out<uint64_t>(2, 1));
        *driver.regionMemory("dev0", 1) = 0x5A;  // the driver is usable from here
        return 0;
    });
    const uint32_t in = 0xBEEF;
    uint8_t out[4] = {0, 0, 0xAA, 0xBB};
    tStatus status;
    EXPECT_EQ(proxy.ioctl(kRead, &in, 4, out, 4, status), 4u);
    EXPECT_EQ(out[0], 0xEF);
    EXPECT_EQ(out[1], 0xBE);
    EXPECT_EQ(out[2], 0xAA);
    EXPECT_EQ(out[3], 0xBB);
    EXPECT_EQ(*driver.regionMemory("dev0", 1), 0x5A);

    driver.onRequest(kWrite, [](qvsim::Request&) { return EBUSY; });
    proxy.ioctl(kWrite, &in, 4, out, 4, status);
    EXPECT_EQ(status.code, -52031);
}

TEST_F(SimulatedDriver, ScriptedRepliesComeFirstAndInOrder) {
    driver.onRequest(kRead, [](qvsim::Request& request) {
        request.out<uint32_t>(0, 100);
        return 0;
    });
    driver.scriptReply(kRead, {1, 0, 0, 0});
    driver.scriptReply(kRead, {2}, 1);
    driver.scriptError(kRead, EAGAIN);

    uint32_t out = 0xFFFFFFFF;
    tStatus status;
    EXPECT_EQ(proxy.ioctl(kRead, nullptr, 0, &out, 4, status), 4u);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(proxy.ioctl(kRead, nullptr, 0, &out, 4, status), 1u);
    EXPECT_EQ(out, 2u);  // short replies are zero-filled
    proxy.ioctl(kRead, nullptr, 0, &out, 4, status);
    EXPECT_EQ(status.code, -52008);
    tStatus later;
    proxy.ioctl(kRead, nullptr, 0, &out, 4, later);
    EXPECT_EQ(out, 100u);
}

TEST_F(SimulatedDriver, InjectsFaultsOnTheNthCall) {
    driver.failCall(Call::ioctl, EIO, 2);
    driver.failCall(Call::ioctl, EINTR, 4);
    uint32_t out = 0;
    std::vector<int64_t> codes;
    for (int i = 0; i < 5; ++i) {
        tStatus status;
        proxy.ioctl(kRead, nullptr, 0, &out, 4, status);
        codes.push_back(status.code);
    }
    EXPECT_EQ(codes, (std::vector<int64_t>{0, -52024, 0, -52025, 0}));
    EXPECT_EQ(driver.callCount(Call::ioctl), 5u);
}

TEST_F(SimulatedDriver, OtherFilesGoToTheOperatingSystem) {
    tDeviceInterfaceProxy null;
    tStatus status;
    null.open("/dev/null", status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(null.write("abc", 3, status), 3);
    uint32_t out;
    null.ioctl(kRead, nullptr, 0, &out, 4, status);
    EXPECT_EQ(status.code, -52002);  // the kernel's own ENOTTY
    EXPECT_EQ(driver.callCount(Call::ioctl), 0u);
    EXPECT_EQ(driver.callCount(Call::write), 0u);
}

TEST_F(SimulatedDriver, ServesConcurrentRequests) {
    std::atomic<uint32_t> served{0};
    driver.onRequest(kRead, [&](qvsim::Request& request) {
        request.out<uint32_t>(0, request.in<uint32_t>(0) * 2);
        served.fetch_add(1);
        return 0;
    });
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (uint32_t i = 0; i < 200; ++i) {
                tStatus status;
                const uint32_t in = t * 1000 + i;
                uint32_t out = 0;
                proxy.ioctl(kRead, &in, 4, &out, 4, status);
                if (status.code != 0 || out != in * 2) wrong.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(served.load(), 800u);
    EXPECT_EQ(driver.requests().size(), 800u);
}

}  // namespace
