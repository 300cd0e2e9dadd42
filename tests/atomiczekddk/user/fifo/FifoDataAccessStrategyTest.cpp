// The FIFO ring over a scripted device side: positions, wrapping, the cache
// of available elements, the refusals, and time-outs that move nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"

namespace {

using nQVAPALS100::tStatus;
using qvzek::FifoDataAccessStrategyWendle;

// A device side that has made `availableBytes` available and records calls.
struct Device : qvzek::IFifoAcquirerReleaser {
    uint64_t availableBytes = UINT64_MAX / 2;
    bool timeOut = false;
    int64_t error = 0;
    bool shortAnswer = false;  // answers less than asked, without a time-out
    int waits = 0;
    std::vector<uint64_t> released;

    uint64_t waitForBytes(uint64_t total, uint32_t, bool* timedOut, tStatus& status, uint64_t*) override {
        ++waits;
        if (error != 0) {
            status.setCode(error, "test", "device", 1);
            return 0;
        }
        *timedOut = timeOut || total > availableBytes;
        if (timeOut) return 0;
        if (shortAnswer) return total > 0 ? total - 1 : 0;
        return availableBytes;
    }
    void releaseBytes(uint64_t bytes, tStatus&) override { released.push_back(bytes); }
};

class Ring : public ::testing::Test {
protected:
    static constexpr uint64_t kDepth = 8;
    Device device;
    FifoDataAccessStrategyWendle ring{device, sizeof(uint32_t)};
    std::vector<uint32_t> memory = std::vector<uint32_t>(kDepth);

    void SetUp() override {
        std::iota(memory.begin(), memory.end(), 100u);
        ring.configure(memory.data(), kDepth, 0);
    }
    // Moves the ring's position to `index` by reads.
    void advanceTo(uint64_t index) {
        std::vector<uint32_t> sink(index);
        tStatus status;
        bool timedOut;
        ring.read(sink.data(), index, 0, &timedOut, nullptr, status);
        ASSERT_EQ(status.code, 0);
    }
};

TEST_F(Ring, AcquiresStopAtTheEndReadsAndWritesWrapInTwoPieces) {
    advanceTo(kDepth - 2);
    tStatus status;
    void* address = nullptr;
    bool timedOut = true;
    uint64_t count = 0, remaining = 0;
    ring.acquire(&address, 5, 0, &timedOut, &count, &remaining, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(address, &memory[kDepth - 2]);
    ring.acquire(&address, 3, 0, &timedOut, &count, nullptr, status);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(address, &memory[0]);
    EXPECT_EQ(ring.getElementsAcquired(), 5u);
    ring.release(5, status);
    EXPECT_EQ(device.released.back(), 5 * sizeof(uint32_t));
    EXPECT_EQ(ring.getElementsAcquired(), 0u);

    // Now at index 3: a read across the end keeps the order.
    advanceTo(2);
    std::vector<uint32_t> out(5);
    ring.read(out.data(), 5, 0, &timedOut, &remaining, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(out, (std::vector<uint32_t>{105, 106, 107, 100, 101}));
    EXPECT_EQ(ring.position(), 2 * kDepth + 2);
    const std::vector<uint32_t> in = {1, 2, 3, 4, 5, 6};
    ring.write(in.data(), 6, 0, &timedOut, nullptr, status);
    EXPECT_EQ(memory, (std::vector<uint32_t>{100, 101, 1, 2, 3, 4, 5, 6}));

    // A mirrored tail lets one acquire run past the end.
    ring.configure(memory.data(), kDepth - 2, 2);  // six in the ring, two mirrored
    advanceTo(4);
    ring.acquire(&address, 4, 0, &timedOut, &count, nullptr, status);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(address, &memory[4]);
}

TEST_F(Ring, TheDeviceIsAskedOnlyWhenTheCacheDoesNotCover) {
    device.availableBytes = 6 * sizeof(uint32_t);
    tStatus status;
    bool timedOut;
    void* address = &memory[0];
    uint64_t count = 9, remaining = 9;
    // A count of zero moves nothing.
    ring.acquire(&address, 0, 0, &timedOut, &count, nullptr, status);
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(count, 0u);
    ring.read(nullptr, 0, 0, &timedOut, &remaining, status);
    ring.write(nullptr, 0, 0, &timedOut, nullptr, status);
    ring.release(0, status);
    EXPECT_TRUE(device.released.empty());
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_LE(device.waits, 3);  // at most one each for acquire, read and write

    ring.acquire(&address, 2, 0, &timedOut, &count, nullptr, status);
    const int waits = device.waits;
    ring.acquire(&address, 2, 0, &timedOut, &count, nullptr, status);
    EXPECT_EQ(device.waits, waits);  // 6 known to be there
    ring.acquire(&address, 1, 0, &timedOut, &count, &remaining, status);
    EXPECT_EQ(device.waits, waits + 1);  // a remaining count always asks
    EXPECT_EQ(remaining, 1u);
    EXPECT_EQ(status.code, 0);
}

TEST_F(Ring, RefusesCountsBeyondTheRingAndCopiesBesideAcquiredElements) {
    auto acquire = [&](uint64_t n) {
        tStatus status;
        bool timedOut;
        void* address;
        uint64_t count;
        ring.acquire(&address, n, 0, &timedOut, &count, nullptr, status);
        return status.code;
    };
    EXPECT_EQ(acquire(kDepth + 1), -61073);
    EXPECT_EQ(acquire(kDepth - 2), 0);
    EXPECT_EQ(acquire(3), -61219);
    EXPECT_EQ(ring.getElementsAcquired(), kDepth - 2);

    tStatus status;
    bool timedOut;
    uint32_t sink[2];
    ring.read(sink, 1, 0, &timedOut, nullptr, status);
    EXPECT_EQ(status.code, -63083);
    EXPECT_EQ(ring.position(), kDepth - 2);  // nothing moved

    tStatus release;
    ring.release(kDepth, release);
    EXPECT_EQ(release.code, -61073);
    EXPECT_EQ(ring.getElementsAcquired(), kDepth - 2);

    ring.configure(memory.data(), kDepth, 0);
    tStatus write;
    std::vector<uint32_t> big(kDepth + 1);
    ring.write(big.data(), kDepth + 1, 0, &timedOut, nullptr, write);
    EXPECT_EQ(write.code, -61073);
}

TEST_F(Ring, AnUnconfiguredRingIsNotInitialisedInsteadOfDividingByZero) {
    ring.configure(nullptr, 0, 0);  // as a reset leaves it
    tStatus status;
    bool timedOut;
    void* address;
    uint64_t count;
    ring.acquire(&address, 1, 0, &timedOut, &count, nullptr, status);
    EXPECT_EQ(status.code, -52010);
    tStatus read;
    uint32_t sink;
    ring.read(&sink, 1, 0, &timedOut, nullptr, read);
    EXPECT_EQ(read.code, -52010);
    EXPECT_EQ(device.waits, 0);
}

TEST_F(Ring, TimeOutsAndShortAnswersMoveNothing) {
    tStatus status;
    bool timedOut = false;
    void* address = &memory[0];
    uint64_t count = 7;
    device.timeOut = true;
    ring.acquire(&address, 2, 0, &timedOut, &count, nullptr, status);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(count, 0u);
    device.timeOut = false;

    // Short of the request with neither a time-out nor an error: the ring
    // must not hand out the element the device has not filled.
    device.shortAnswer = true;
    timedOut = false;
    uint32_t out[2] = {0, 0};
    ring.read(out, 2, 0, &timedOut, nullptr, status);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_EQ(status.code, 0);
    device.shortAnswer = false;

    device.error = -50400;
    ring.read(out, 2, 0, &timedOut, nullptr, status);
    EXPECT_EQ(status.code, -50400);
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_TRUE(device.released.empty());
}

}  // namespace
