// The simulated FPGA device as the FPGA driver layer's tests rely on it,
// driven through the library's own driver proxy: run state, interrupts with
// timed waits, attributes, personality, mapped regions, injected errors and
// the call log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/shared/Errors.h"

namespace {

using namespace std::chrono_literals;
using nQVAPALS100::tStatus;
using qvsim::FpgaDevice;

class Device : public qvtest::SimulatedFpga {};

constexpr uint32_t kControl = FpgaDevice::kDefaultControlAddress;

TEST_F(Device, RunsStopsResetsAndAbortsItsLogic) {
    tStatus status;
    EXPECT_EQ(proxy->read32(kControl, status), 0u);
    for (uint32_t value : {4u, 0u, 2u}) proxy->write32(kControl, value, status);
    EXPECT_EQ(proxy->read32(kControl, status), 2u);
    proxy->abort(status);
    EXPECT_EQ(proxy->read32(kControl, status), 3u);
    proxy->reset(status);
    EXPECT_EQ(proxy->read32(kControl, status), 0u);

    device.setNeverRuns(true);
    proxy->write32(kControl, 2, status);
    EXPECT_EQ(proxy->read32(kControl, status), 0u);

    device.setErrorBits(0x10);
    EXPECT_EQ(proxy->read32(kControl, status), 0x10u);
    const uint8_t bitstream[3] = {9, 8, 7};
    proxy->download(reinterpret_cast<uintptr_t>(bitstream), 3, status);
    EXPECT_EQ(device.downloadedBitstream(), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(proxy->read32(kControl, status), 0u);  // a download clears the errors

    device.setUnreachable(true);
    EXPECT_EQ(proxy->read32(kControl, status), 0xFFFFFFFFu);
    EXPECT_EQ(status.code, 0);

    device.setControlAddress(0x40);
    device.setUnreachable(false);
    device.setRunState(2);
    EXPECT_EQ(proxy->read32(0x40, status), 2u);
}

TEST_F(Device, InterruptWaitsEndOnALineOrTheirTimeout) {
    tStatus status;
    uint8_t timedOut = 0;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(proxy->waitOnIrqs(0x3, 20, &timedOut, status), 0u);
    EXPECT_EQ(timedOut, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);

    std::thread raiser([&] {
        std::this_thread::sleep_for(10ms);
        device.raiseIrqs(0x6);
    });
    timedOut = 1;
    EXPECT_EQ(proxy->waitOnIrqs(0x3, 0xFFFFFFFF, &timedOut, status), 0x2u);
    raiser.join();
    EXPECT_EQ(timedOut, 0);

    // The status register shows the lines and clears those written with 1.
    EXPECT_EQ(proxy->read32(FpgaDevice::kDefaultIrqStatusAddress, status), 0x6u);
    proxy->write32(FpgaDevice::kDefaultIrqStatusAddress, 0x2, status);
    EXPECT_EQ(device.assertedIrqs(), 0x4u);
    EXPECT_EQ(status.code, 0);
}

TEST(DeviceLifetime, GoingAwayEndsAWaitWithoutEnd) {
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder(driver);
    auto device = std::make_unique<FpgaDevice>(driver, decoder);
    sdihal::tInterfaceProxy_atomiczekddkqrx proxy;
    tStatus status;
    proxy.open(device->path().c_str(), status);
    uint8_t timedOut = 0;
    std::thread waiter([&] { proxy.waitOnIrqs(1, 0xFFFFFFFF, &timedOut, status); });
    while (decoder.requests().empty() && driver.callCount(qvsim::Call::ioctl) == 0)
        std::this_thread::yield();
    std::this_thread::sleep_for(10ms);
    device.reset();
    waiter.join();
    EXPECT_EQ(timedOut, 1);
}

TEST_F(Device, AnswersAttributesPersonalityAndDriverInformation) {
    tStatus status;
    proxy->getAttribute(48, status);
    EXPECT_EQ(status.code, FpgaDevice::kAttributeNotServed);
    tStatus set;
    proxy->setAttribute(84, 0x55, set);
    EXPECT_EQ(proxy->getAttribute(84, set), 0x55u);
    EXPECT_EQ(proxy->getStateFlag(set), 1u);
    device.setIoInfo(0x1234);
    EXPECT_EQ(proxy->getIoInfo(set), 0x1234u);
    device.setP2PInfo(2, 77);
    EXPECT_EQ(proxy->getP2PInfo(2, set), 77u);

    const uint8_t bitstream[4] = {1, 2, 3, 4};
    uint8_t result = 9;
    proxy->configurePersonality(0, 0, 0, 0, reinterpret_cast<uintptr_t>(bitstream), 4, 1, 1, 1,
                                &result, set);
    EXPECT_EQ(result, 1);  // configured
    proxy->configurePersonality(0, 0, 0, 0, reinterpret_cast<uintptr_t>(bitstream), 4, 1, 1, 1,
                                &result, set);
    EXPECT_EQ(result, 0);  // already in place
    EXPECT_EQ(device.personalityBitstream().size(), 4u);
    EXPECT_EQ(set.code, 0);
}

TEST_F(Device, InjectsErrorsAndLogsEveryCall) {
    device.failNext("atomiczekddk_configuration.command0D", qvzek::kErrorBusy, 2);
    tStatus first, second, third;
    proxy->command0D(first);
    proxy->command0D(second);
    proxy->command0D(third);
    EXPECT_EQ(first.code, qvzek::kErrorBusy);
    EXPECT_EQ(second.code, qvzek::kErrorBusy);
    EXPECT_EQ(third.code, 0);
    EXPECT_EQ(calls("atomiczekddk_configuration.command0D").size(), 3u);

    tStatus status;
    proxy->write32(0x10, 0xABCD, status);
    const auto log = decoder.requests();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().name(), "atomiczekddk_io.write32");
    EXPECT_EQ(log.back().value("value"), 0xABCD);
}

TEST_F(Device, SharesItsRegionsWithTheLibrarysMappings) {
    tStatus status;
    sdihal::nQVAPAL000::tMemoryMapping mapping;
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    auto* mapped = static_cast<uint8_t*>(
        proxy->mapMemory(2, page, sdihal::nQVAPAL000::kMapReadWrite, mapping, status));
    ASSERT_EQ(status.code, 0);
    mapped[5] = 0x5A;
    EXPECT_EQ(device.regionMemory(2)[5], 0x5A);
    device.regionMemory(2)[6] = 0xA5;
    EXPECT_EQ(mapped[6], 0xA5);
    proxy->unmapMemory(mapping);
}

}  // namespace
