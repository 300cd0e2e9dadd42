// The FIFO ring over a scripted device side: the cache of available
// elements, the refusals, and time-outs that move nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"
#include "qverr/Codes.h"

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

    uint64_t waitForBytes(uint64_t total, uint32_t, bool* timedOut, tStatus& status,
                          uint64_t*) override {
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

// What one call of the ring gave back.
struct Outcome {
    int64_t code = 0;
    bool timedOut = false;
    void* address = nullptr;
    uint64_t count = 99, remaining = 99;
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
    Outcome acquire(uint64_t n, bool askRemaining = false) {
        Outcome o;
        tStatus status;
        o.address = &memory[0];
        ring.acquire(&o.address, n, 0, &o.timedOut, &o.count, askRemaining ? &o.remaining : nullptr,
                     status);
        o.code = status.code;
        return o;
    }
    Outcome read(uint32_t* out, uint64_t n, bool askRemaining = false) {
        Outcome o;
        tStatus status;
        ring.read(out, n, 0, &o.timedOut, askRemaining ? &o.remaining : nullptr, status);
        o.code = status.code;
        return o;
    }
    int64_t write(const uint32_t* in, uint64_t n) {
        tStatus status;
        bool timedOut;
        ring.write(in, n, 0, &timedOut, nullptr, status);
        return status.code;
    }
    int64_t release(uint64_t n) {
        tStatus status;
        ring.release(n, status);
        return status.code;
    }
};

// Wrapping round the ring, with and without a mirror, is checked by the
// FIFO streams over the simulated device.
TEST_F(Ring, TheDeviceIsAskedOnlyWhenTheCacheDoesNotCover) {
    device.availableBytes = 6 * sizeof(uint32_t);
    // A count of zero moves nothing and asks at most once per call.
    const Outcome none = acquire(0);
    EXPECT_EQ(none.address, nullptr);
    EXPECT_EQ(none.count, 0u);
    read(nullptr, 0, true);
    write(nullptr, 0);
    EXPECT_EQ(release(0), 0);
    EXPECT_TRUE(device.released.empty());
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_LE(device.waits, 3);

    acquire(2);
    const int waits = device.waits;
    acquire(2);
    EXPECT_EQ(device.waits, waits);  // 6 known to be there
    const Outcome last = acquire(1, true);
    EXPECT_EQ(device.waits, waits + 1);  // a remaining count always asks
    EXPECT_EQ(last.remaining, 1u);
    EXPECT_EQ(last.code, 0);
}

TEST_F(Ring, RefusesCountsBeyondTheRingAndCopiesBesideAcquiredElements) {
    EXPECT_EQ(acquire(kDepth + 1).code, qvzek::kErrorFifoCountTooLarge);
    EXPECT_EQ(acquire(kDepth - 2).code, 0);
    EXPECT_EQ(acquire(3).code, qvzek::kErrorFifoAcquireBeyondDepth);
    EXPECT_EQ(ring.getElementsAcquired(), kDepth - 2);
    uint32_t sink[2];
    EXPECT_EQ(read(sink, 1).code, qvzek::kErrorFifoElementsAcquired);
    EXPECT_EQ(ring.position(), kDepth - 2);  // nothing moved
    EXPECT_EQ(release(kDepth), qvzek::kErrorFifoCountTooLarge);
    EXPECT_EQ(ring.getElementsAcquired(), kDepth - 2);

    ring.configure(memory.data(), kDepth, 0);
    std::vector<uint32_t> big(kDepth + 1);
    EXPECT_EQ(write(big.data(), kDepth + 1), qvzek::kErrorFifoCountTooLarge);

    // An unconfigured ring (as a reset leaves it) is not initialised
    // instead of dividing by zero.
    ring.configure(nullptr, 0, 0);
    const int waits = device.waits;
    EXPECT_EQ(acquire(1).code, qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(read(sink, 1).code, qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(device.waits, waits);
}

TEST_F(Ring, TimeOutsAndShortAnswersMoveNothing) {
    device.timeOut = true;
    const Outcome late = acquire(2);
    EXPECT_TRUE(late.timedOut);
    EXPECT_EQ(late.address, nullptr);
    EXPECT_EQ(late.count, 0u);
    device.timeOut = false;

    // Short of the request with neither a time-out nor an error: the ring
    // must not hand out the element the device has not filled.
    device.shortAnswer = true;
    uint32_t out[2] = {0, 0};
    const Outcome shortRead = read(out, 2);
    EXPECT_TRUE(shortRead.timedOut);
    EXPECT_EQ(shortRead.code, 0);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(ring.position(), 0u);
    device.shortAnswer = false;

    device.error = qvzek::kErrorFifoTimedOut;
    EXPECT_EQ(read(out, 2).code, qvzek::kErrorFifoTimedOut);
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_TRUE(device.released.empty());
}

}  // namespace
