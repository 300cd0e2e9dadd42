// Target-to-host and host-to-target streams end to end: the ring in a host
// buffer, the FPGA driver's fifo requests, and the simulated device writing
// (or checking) a counter straight in the process's memory across many wraps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/user/fifo/FifoAcquirerReleaserInterfaceProxy.h"
#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"

namespace {

using nQVAPALS100::tStatus;

constexpr uint64_t kSession = 0x5E55;
constexpr uint32_t kFifo = 3;
constexpr uint64_t kElements = 1000000;

class Dma : public qvtest::SimulatedFpga {
protected:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> fifoInterface{proxy, proxy.get()};
    qvzek::FifoAcquirerReleaserInterfaceProxy hardware{fifoInterface, kSession, kFifo};
    qvzek::HostBuffer buffer;

    // A ring of `depth` elements of T (mirrorElements of them mirrored),
    // configured and started on the device.
    template <typename T>
    std::unique_ptr<qvzek::FifoDataAccessStrategyWendle> start(uint64_t depth, uint64_t mirrorElements,
                                                               uint32_t direction) {
        buffer.allocate(depth * sizeof(T), mirrorElements * sizeof(T), -1);
        tStatus status;
        const std::array<uint64_t, 4> words = {reinterpret_cast<uintptr_t>(buffer.address()), depth * sizeof(T),
                                               mirrorElements * sizeof(T),
                                               1 | uint64_t{2} << 32};
        device.describeFifo(kFifo, sizeof(T), direction);
        proxy->beginFifoConfiguration(kSession, kFifo, status);
        proxy->configureFifo(kSession, kFifo, words, status);
        proxy->startFifo(kSession, kFifo, status);
        EXPECT_EQ(status.code, 0);
        auto ring = std::make_unique<qvzek::FifoDataAccessStrategyWendle>(hardware, sizeof(T));
        ring->configure(buffer.address(), depth, mirrorElements);
        return ring;
    }
};

TEST_F(Dma, AcquiredElementsReadTheCounterAcrossWrapsThroughTheMirror) {
    constexpr uint64_t kDepth = 4096;  // 16 KiB of u32, the last page mirrored
    auto ring = start<uint32_t>(kDepth, 1024, 0);
    uint64_t next = 0, wrongs = 0, calls = 0;
    while (next < kElements) {
        tStatus status;
        void* address = nullptr;
        bool timedOut = false;
        uint64_t count = 0;
        const uint64_t want = std::min<uint64_t>(200 + next % 777, kElements - next);
        ring->acquire(&address, want, 1000, &timedOut, &count, nullptr, status);
        ASSERT_EQ(status.code, 0);
        ASSERT_FALSE(timedOut);
        ASSERT_EQ(count, want);  // the mirror (1024) makes every run contiguous
        const auto* elements = static_cast<const uint32_t*>(address);
        for (uint64_t i = 0; i < count; ++i) wrongs += elements[i] != static_cast<uint32_t>(next + i);
        next += count;
        ring->release(count, status);
        ASSERT_EQ(status.code, 0);
        ++calls;
    }
    EXPECT_EQ(wrongs, 0u);
    EXPECT_EQ(device.fifo(kFifo).released, kElements * 4);
    EXPECT_GT(calls, kElements / kDepth);  // many trips round the ring
}

TEST_F(Dma, PlainReadsOfAnUnmirroredRingKeepTheCounterAcrossWraps) {
    constexpr uint64_t kDepth = 2048;  // 16 KiB of u64
    auto ring = start<uint64_t>(kDepth, 0, 0);
    std::vector<uint64_t> out(kDepth);
    uint64_t next = 0, wrongs = 0;
    while (next < kElements) {
        tStatus status;
        bool timedOut = false;
        const uint64_t want = std::min<uint64_t>(1500 + next % 301, kElements - next);
        ring->read(out.data(), want, 1000, &timedOut, nullptr, status);
        ASSERT_EQ(status.code, 0);
        ASSERT_FALSE(timedOut);
        for (uint64_t i = 0; i < want; ++i) wrongs += out[i] != next + i;
        next += want;
    }
    EXPECT_EQ(wrongs, 0u);
    EXPECT_EQ(ring->position(), kElements);
}

TEST_F(Dma, WrittenElementsReachTheDeviceInOrder) {
    constexpr uint64_t kDepth = 1024;
    auto ring = start<uint32_t>(kDepth, 0, 1);
    std::vector<uint32_t> chunk(kDepth);
    uint64_t next = 0;
    while (next < kElements / 4) {
        const uint64_t want = std::min<uint64_t>(700 + next % 313, kElements / 4 - next);
        for (uint64_t i = 0; i < want; ++i) chunk[i] = static_cast<uint32_t>(next + i);
        tStatus status;
        bool timedOut = false;
        ring->write(chunk.data(), want, 1000, &timedOut, nullptr, status);
        ASSERT_EQ(status.code, 0);
        ASSERT_FALSE(timedOut);
        next += want;
    }
    const auto state = device.fifo(kFifo);
    EXPECT_EQ(state.consumed, kElements);  // bytes: a quarter million u32
    EXPECT_EQ(state.mismatches, 0u);

    // The device does check: an element out of order is counted.
    tStatus status;
    bool timedOut;
    const uint32_t wrong = 7;
    ring->write(&wrong, 1, 1000, &timedOut, nullptr, status);
    EXPECT_EQ(device.fifo(kFifo).mismatches, 1u);
}

TEST_F(Dma, ADeviceWithoutDataTimesOutAndMovesNothing) {
    device.setProduceLimit(kFifo, 10);
    auto ring = start<uint32_t>(1024, 0, 0);
    std::vector<uint32_t> out(20, 0xEEEEEEEE);
    tStatus status;
    bool timedOut = false;
    uint64_t remaining = 0;
    ring->read(out.data(), 20, 5, &timedOut, &remaining, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(remaining, 10u);
    EXPECT_EQ(out[0], 0xEEEEEEEE);
    EXPECT_EQ(ring->position(), 0u);
    ring->read(out.data(), 10, 5, &timedOut, nullptr, status);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(out[9], 9u);
}

TEST_F(Dma, AStoppedFifoReportsTheDevicesError) {
    auto ring = start<uint32_t>(1024, 0, 0);
    tStatus stop;
    proxy->stopFifo(kSession, kFifo, stop);
    tStatus status;
    bool timedOut;
    uint32_t out;
    ring->read(&out, 1, 5, &timedOut, nullptr, status);
    EXPECT_EQ(status.code, qvsim::FpgaDevice::kFifoNotReady);
    EXPECT_EQ(ring->position(), 0u);
}

}  // namespace
