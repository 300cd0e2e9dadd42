// FIFOs end to end on the simulated FPGA device: a million elements each
// way across many wraps of the ring by region and counted access, the
// restart after the driver lost the FIFO, and which element types a caller
// may use.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/FifoFixture.h"
#include "qverr/Codes.h"

namespace {

using qvtest::codeOf;
namespace p = qvzek::fifo_properties;

constexpr uint64_t kMillion = 1000000;
constexpr uint64_t kDepth = 4096;
constexpr uint32_t kWait = 2000;

// A region handle as the FIFO's release takes it.
uint64_t* asRegion(uint64_t handle) {
    return reinterpret_cast<uint64_t*>(static_cast<uintptr_t>(handle));
}

class FifoStream : public qvtest::FifoOnDevice, public ::testing::WithParamInterface<bool> {
protected:
    bool mirrored() const { return GetParam(); }
    std::unique_ptr<qvzek::Fifo> ready(uint32_t number, uint8_t kind) {
        auto fifo = make(number, kind, qvzek::TypeU32());
        if (!mirrored()) fifo->setPropertyU64(p::kMirrorSize, 0);
        uint64_t actual = 0;
        fifo->configure(kDepth, &actual, 0);
        EXPECT_EQ(actual, kDepth);
        EXPECT_EQ(device.fifo(number).mirrorBytes, mirrored() ? kDepth * 4 : 0u);
        return fifo;
    }
};

// Copies across the wrap are streamed by the threaded FIFO test.
TEST_P(FifoStream, TargetToHostRegionsFollowTheCounter) {
    auto fifo = ready(0, qvzek::kFifoTargetToHost);
    uint64_t next = 0, wrongs = 0;
    // In sizes that never divide the ring.
    while (next < kMillion) {
        const uint64_t want = std::min<uint64_t>(900 + next % 555, kMillion - next);
        uint64_t handle = 0, got = 0;
        void* region = nullptr;
        uint8_t timedOut = 1;
        fifo->acquireReadRegion(qvzek::TypeU32(), &handle, &region, want, kWait, &timedOut, &got,
                                nullptr, 0);
        ASSERT_EQ(timedOut, 0);
        ASSERT_NE(handle, 0u);
        // Without a mirror a run stops at the end of the ring.
        ASSERT_TRUE(mirrored() ? got == want : got >= 1 && got <= want);
        const auto* elements = static_cast<const uint32_t*>(region);
        for (uint64_t i = 0; i < got; ++i) wrongs += elements[i] != static_cast<uint32_t>(next + i);
        next += got;
        fifo->releaseRegion(asRegion(handle));
    }
    EXPECT_EQ(wrongs, 0u);
    EXPECT_EQ(device.fifo(0).released, kMillion * 4);
}

TEST_P(FifoStream, HostToTargetElementsReachTheDeviceInOrder) {
    auto fifo = ready(1, qvzek::kFifoHostToTarget);
    uint64_t next = 0;
    while (next < kMillion) {
        const uint64_t want = std::min<uint64_t>(700 + next % 911, kMillion - next);
        void* region = nullptr;
        uint64_t got = 0;
        uint8_t timedOut = 1;
        fifo->acquireWriteElements(qvzek::TypeU32(), &region, want, kWait, &timedOut, &got, nullptr,
                                   0);
        ASSERT_EQ(timedOut, 0);
        auto* elements = static_cast<uint32_t*>(region);
        for (uint64_t i = 0; i < got; ++i) elements[i] = static_cast<uint32_t>(next + i);
        next += got;
        fifo->releaseElements(got);
    }
    EXPECT_EQ(device.fifo(1).consumed, kMillion * 4);
    EXPECT_EQ(device.fifo(1).mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Mirror, FifoStream, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "mirrored" : "plain"; });

class FifoAccess : public qvtest::FifoOnDevice {};

TEST_F(FifoAccess, ARingOfNRecordsHoldsNMinusOneRegions) {
    auto fifo = make(2, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->setPropertyU32(p::kRegionCapacity, 4);
    fifo->configure(kDepth, nullptr, 0);
    uint64_t handles[4] = {};
    void* region;
    uint8_t timedOut;
    const auto acquire = [&](uint64_t& handle, uint64_t count) {
        return codeOf([&] {
            fifo->acquireReadRegion(qvzek::TypeU32(), &handle, &region, count, kWait, &timedOut,
                                    nullptr, nullptr, 0);
        });
    };
    for (int i = 0; i < 3; ++i) acquire(handles[i], 10);
    EXPECT_EQ(acquire(handles[3], 10), qvzek::kErrorFifoRegionsFull);
    // Counted access waits until the regions are back.
    EXPECT_EQ(codeOf([&] {
                  fifo->acquireReadElements(qvzek::TypeU32(), &region, 1, kWait, &timedOut, nullptr,
                                            nullptr, 0);
              }),
              qvzek::kErrorFifoElementsAcquired);
    EXPECT_EQ(fifo->getPropertyU64(p::kElementsAcquired), 30u);
    EXPECT_EQ(codeOf([&] { fifo->setPropertyU32(p::kRegionCapacity, 8); }),
              qvzek::kErrorFifoStarted);

    // Out of order: nothing goes back until the first region does, then all
    // of it in one request.
    const size_t before = calls("atomiczekddk_fifo.releaseBytes").size();
    fifo->releaseRegion(asRegion(handles[2]));
    fifo->releaseRegion(asRegion(handles[1]));
    EXPECT_EQ(calls("atomiczekddk_fifo.releaseBytes").size(), before);
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(asRegion(handles[1])); }),
              qverr::qvapalerr_invalidParameter);  // twice
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(asRegion(handles[0] + 4)); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(nullptr); }), qverr::qvapalerr_invalidParameter);
    fifo->releaseRegion(asRegion(handles[0]));
    const auto released = calls("atomiczekddk_fifo.releaseBytes");
    ASSERT_EQ(released.size(), before + 1);
    EXPECT_EQ(released.back().get<uint64_t>("bytes"), 30u * 4);
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(asRegion(handles[0])); }),
              qvzek::kErrorFifoCountTooLarge);

    // A count of 0 gives no handle and takes no record.
    uint64_t none = 1;
    acquire(none, 0);
    EXPECT_EQ(none, 0u);
}

TEST_F(FifoAccess, TheDriverLosingTheFifoRestartsItOnce) {
    auto fifo = make(3, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->configure(kDepth, nullptr, 0);
    uint32_t out[8];
    uint8_t timedOut;
    device.failNext("atomiczekddk_fifo.waitForBytes", -52010);
    fifo->read(qvzek::TypeU32(), out, 8, kWait, &timedOut, nullptr, 0);
    EXPECT_EQ(out[7], 7u);
    EXPECT_EQ(calls("atomiczekddk_fifo.startFifo").size(), 2u);

    // A stopped FIFO asks the driver afresh (the ring's cached count is gone).
    fifo->stop();
    device.failNext("atomiczekddk_fifo.waitForBytes", -52010, 2);
    EXPECT_EQ(codeOf([&] { fifo->read(qvzek::TypeU32(), out, 8, kWait, &timedOut, nullptr, 0); }),
              qvzek::kErrorFifoStopped);
    // Stopped: the next access starts afresh.
    fifo->read(qvzek::TypeU32(), out, 8, kWait, &timedOut, nullptr, 0);
    EXPECT_EQ(out[0], 0u);

    fifo->stop();
    device.failNext("atomiczekddk_fifo.waitForBytes", qvzek::kErrorFifoStopped);
    EXPECT_EQ(codeOf([&] { fifo->read(qvzek::TypeU32(), out, 8, kWait, &timedOut, nullptr, 0); }),
              qvzek::kErrorFifoStopped);
}

TEST_F(FifoAccess, DirectionAndElementTypeAreChecked) {
    auto single = make(4, qvzek::kFifoTargetToHost, qvzek::TypeSGL());
    auto dbl = make(5, qvzek::kFifoTargetToHost, qvzek::TypeDBL());
    auto u16 = make(6, qvzek::kFifoHostToTarget, qvzek::TypeU16());
    uint8_t timedOut;
    uint8_t bytes[64];
    // Another description of a floating-point element of the same size is
    // fine; one of another size would overrun the caller's buffer.
    single->read(qvzek::TypeU32(), bytes, 4, kWait, &timedOut, nullptr, 0);
    EXPECT_EQ(codeOf([&] { dbl->read(qvzek::TypeSGL(), bytes, 8, kWait, &timedOut, nullptr, 0); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(codeOf([&] { u16->write(qvzek::TypeI16(), bytes, 4, kWait, &timedOut, nullptr, 0); }),
              qverr::qvapalerr_invalidParameter);
    // The wrong direction.
    EXPECT_EQ(codeOf([&] { u16->read(qvzek::TypeU16(), bytes, 4, kWait, &timedOut, nullptr, 0); }),
              qverr::qvapalerr_invalidParameter);
    u16->write(qvzek::TypeU16(), bytes, 4, kWait, &timedOut, nullptr, 0);

    EXPECT_EQ(codeOf([&] {
                  qvzek::Fifo(describe(7, qvzek::kFifoPeerToPeerReader, qvzek::TypeU32()),
                              fifoInterface, 1, -1, -1);
              }),
              qverr::qvapalerr_invalidParameter);
}

TEST_F(FifoAccess, ClientsKeepTheFifoUntilTheLastLeaves) {
    auto fifo = make(8, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->configure(kDepth, nullptr, 11);
    fifo->start(12);
    fifo->removeClient(11);
    fifo->removeClient(99);
    EXPECT_TRUE(device.fifo(8).started);
    fifo->removeClient(12);
    EXPECT_FALSE(device.fifo(8).configured);  // reset in the driver
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 16384u);
    EXPECT_EQ(codeOf([&] { fifo->configure(0, nullptr, 0); }), qvzek::kErrorFifoDepthInvalid);
}

}  // namespace
