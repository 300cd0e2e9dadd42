// FIFOs used from several threads: callers blocked for room wake on another
// thread's release (every one of them, whatever the time-out), and separate
// FIFOs, half of them without a mirror, stream copies across many wraps side
// by side.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/FifoFixture.h"

namespace {

using qvtest::codeOf;

constexpr uint64_t kRing = 1024;

class FifoThreads : public qvtest::FifoOnDevice {};

TEST_F(FifoThreads, EveryCallerWaitingForRoomWakesOnARelease) {
    auto fifo = make(0, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->configure(kRing, nullptr, 0);
    void* region = nullptr;
    uint8_t timedOut = 0;
    uint64_t got = 0;
    fifo->acquireReadElements(qvzek::TypeU32(), &region, kRing, 2000, &timedOut, &got, nullptr, 0);
    ASSERT_EQ(got, kRing);

    // Two callers with a finite time-out and one waiting for ever: the ring
    // is all taken, so each waits for the release below.
    const uint32_t timeouts[] = {20000, 20000, qvzek::kFifoWaitForever};
    std::atomic<int> codes[3];
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        codes[i] = 1;
        waiters.emplace_back([&, i] {
            void* mine = nullptr;
            uint8_t late = 0;
            uint64_t count = 0;
            const int32_t code = codeOf([&] {
                fifo->acquireReadElements(qvzek::TypeU32(), &mine, 1, timeouts[i], &late, &count,
                                          nullptr, 0);
            });
            codes[i] = code != 0 ? code : (late != 0 || count != 1 ? -1 : 0);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fifo->releaseElements(kRing);
    for (auto& waiter : waiters) waiter.join();
    for (auto& code : codes) EXPECT_EQ(code, 0);
    EXPECT_EQ(fifo->getPropertyU64(qvzek::fifo_properties::kElementsAcquired), 3u);
    fifo->releaseElements(3);

    // With a finite time-out and nobody releasing, the wait ends in -61219.
    fifo->acquireReadElements(qvzek::TypeU32(), &region, kRing, 2000, &timedOut, &got, nullptr, 0);
    EXPECT_EQ(codeOf([&] {
                  fifo->acquireReadElements(qvzek::TypeU32(), &region, 1, 20, &timedOut, &got,
                                            nullptr, 0);
              }),
              qvzek::kErrorFifoAcquireBeyondDepth);
    fifo->releaseElements(kRing);
}

TEST_F(FifoThreads, FourReadersAndFourWritersOnSeparateFifos) {
    constexpr uint64_t kElements = 200000;
    std::vector<std::unique_ptr<qvzek::Fifo>> fifos;
    for (uint32_t i = 0; i < 8; ++i) {
        fifos.push_back(
            make(i, i < 4 ? qvzek::kFifoTargetToHost : qvzek::kFifoHostToTarget, qvzek::TypeU32()));
        if (i % 2 == 1) fifos.back()->setPropertyU64(qvzek::fifo_properties::kMirrorSize, 0);
        fifos.back()->configure(kRing, nullptr, 0);
    }
    std::atomic<uint64_t> wrongs{0};
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            std::vector<uint32_t> chunk(kRing);
            uint64_t next = 0;
            try {
                while (next < kElements) {
                    const uint64_t want = std::min<uint64_t>(300 + next % 211, kElements - next);
                    uint8_t timedOut = 0;
                    if (i < 4) {
                        fifos[i]->read(qvzek::TypeU32(), chunk.data(), want, 5000, &timedOut,
                                       nullptr, 0);
                        for (uint64_t k = 0; k < want; ++k)
                            wrongs += chunk[k] != static_cast<uint32_t>(next + k);
                    } else {
                        for (uint64_t k = 0; k < want; ++k)
                            chunk[k] = static_cast<uint32_t>(next + k);
                        fifos[i]->write(qvzek::TypeU32(), chunk.data(), want, 5000, &timedOut,
                                        nullptr, 0);
                    }
                    if (timedOut != 0) ++wrongs;
                    next += want;
                }
            } catch (const qverr::Exception&) {
                ++wrongs;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrongs, 0u);
    for (uint32_t i = 4; i < 8; ++i) {
        EXPECT_EQ(device.fifo(i).consumed, kElements * 4);
        EXPECT_EQ(device.fifo(i).mismatches, 0u);
    }
    EXPECT_EQ(device.fifo(1).mirrorBytes, 0u);
}

}  // namespace
