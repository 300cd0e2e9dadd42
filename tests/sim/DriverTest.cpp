// The simulated driver as later tests rely on it: request checks, dispatch by
// request code, scripted replies and one-shot injected faults. Concurrent callers are served in
// the shared-proxy test of the module's proxies.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "kerneldriver/Driver.h"
#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qverr/Codes.h"

namespace {

using namespace sdihal::nQVAPAL000;
using nQVAPALS100::tStatus;

constexpr uint32_t kRead = 0x00204201;
constexpr uint32_t kWrite = 0x00204202;

class SimulatedDriver : public ::testing::Test {
protected:
    qvsim::Driver driver;
    tDeviceInterfaceProxy proxy;
    uint32_t in = 0xBEEF, out = 0;

    void SetUp() override {
        tStatus status;
        proxy.open(driver.addDevice("dev0").c_str(), status);
        ASSERT_EQ(status.code, 0);
    }
    // The status code of one request through the proxy.
    int64_t request(uint32_t code, uint32_t inSize = 4, uint32_t outSize = 4) {
        tStatus status;
        proxy.ioctl(code, &in, inSize, &out, outSize, status);
        return status.code;
    }
};

TEST_F(SimulatedDriver, ChecksTheRequestBlock) {
    auto raw = [&](uint32_t code, tKernelRequestBlock block) {
        errno = 0;
        systemInterface().ioctl(proxy.descriptor(), code, &block);
        return errno;
    };
    const tKernelRequestBlock good{
        reinterpret_cast<uintptr_t>(&in), reinterpret_cast<uintptr_t>(&out), 4, 4, 0, 0};
    EXPECT_EQ(raw(kRead, good), 0);
    EXPECT_EQ(raw(0x00104201, good), ENOTTY);  // the code names no 32-byte block
    EXPECT_EQ(raw(kRead, {good.inBuffer, good.outBuffer, 4, 4, 4, 0}), EINVAL);
    EXPECT_EQ(raw(kRead, {good.inBuffer, good.outBuffer, 4, 4, 0, 1}), EINVAL);
    EXPECT_EQ(raw(kRead, {good.inBuffer, 0, 4, 4, 0, 0}), EFAULT);
    EXPECT_EQ(raw(kRead, {good.inBuffer, good.outBuffer, 1u << 30, 4, 0, 0}), EINVAL);

    // A handler that declares its block sizes refuses others.
    driver.onRequest(
        kWrite, [](qvsim::Request&) { return 0; }, 4, 4);
    EXPECT_EQ(request(kWrite), 0);
    EXPECT_EQ(request(kWrite, 2), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(driver.requests().back().error, EINVAL);
}

TEST_F(SimulatedDriver, DispatchesByCodeToHandlersThatMayCallBack) {
    driver.onRequest(kRead, [this](qvsim::Request& request) {
        EXPECT_EQ(request.device, "dev0");
        request.out<uint16_t>(0, request.in<uint16_t>(0));  // the caller's other bytes stay
        *driver.regionMemory("dev0", 1) = 0x5A;             // handlers may call back
        return 0;
    });
    out = 0xAAAA0000;
    EXPECT_EQ(request(kRead), 0);
    EXPECT_EQ(out, 0xAAAABEEFu);
    EXPECT_EQ(*driver.regionMemory("dev0", 1), 0x5A);
}

// Scripted answers go first, once each and in order; then the handler serves.
TEST_F(SimulatedDriver, ScriptedRepliesComeBeforeTheHandlerOnceEach) {
    driver.onRequest(kRead, [](qvsim::Request& request) {
        request.out<uint32_t>(0, 7);
        return 0;
    });
    driver.scriptReply(kRead, {1, 0, 0, 0});
    driver.scriptError(kRead, EBUSY);
    driver.scriptReply(kRead, {2, 0, 0, 0}, 0);

    EXPECT_EQ(request(kRead), 0);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(request(kRead), qverr::qvapalerr_resourceBusy);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(request(kRead), 0);
    EXPECT_EQ(out, 2u);
    EXPECT_EQ(driver.requests().back().bytesReturned, 0u);
    EXPECT_EQ(request(kRead), 0);
    EXPECT_EQ(out, 7u);
}

TEST_F(SimulatedDriver, InjectsFaultsOnTheNthCall) {
    driver.failCall(qvsim::Call::ioctl, EIO, 2);
    driver.failCall(qvsim::Call::ioctl, EINTR, 4);
    std::vector<int64_t> codes;
    for (int i = 0; i < 5; ++i) codes.push_back(request(kRead));
    EXPECT_EQ(codes,
              (std::vector<int64_t>{0, qverr::kStatusIOError, 0, qverr::kStatusInterrupted, 0}));
}

}  // namespace
