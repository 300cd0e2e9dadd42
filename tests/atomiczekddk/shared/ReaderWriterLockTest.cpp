// The FPGA object's reader-writer lock: readers share, a writer excludes
// everyone, a pending writer holds back new readers, and under a stress of
// many readers and two writers no reader ever overlaps a writer and the
// writers always get through.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "atomiczekddk/shared/ReaderWriterLock.h"

namespace {

using namespace std::chrono_literals;
using nQVAPALS100::tStatus;
using qvzek::ReaderWriterLock;

// Spins (yielding) until `done` holds; false after `limit`.
template <typename Condition>
bool eventually(Condition done, std::chrono::seconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

class Lock : public ::testing::Test {
protected:
    tStatus status;
    ReaderWriterLock lock{status};
    // Who got in when: 1 for the first in, 2 for the second.
    std::atomic<int> entries{0};
};

TEST_F(Lock, AReaderArrivingBehindAPendingWriterWaitsForThatWriter) {
    ASSERT_EQ(status.code, 0);
    lock.lockRead();  // an earlier reader, still inside
    int writerAt = 0, readerAt = 0;
    std::thread writer([&] {
        lock.lockWrite();
        writerAt = ++entries;
        lock.unlockWrite();
    });
    ASSERT_TRUE(eventually([&] { return lock.writerPending(); }));
    std::thread lateReader([&] {
        lock.lockRead();
        readerAt = ++entries;
        lock.unlockRead();
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(entries, 0);  // neither the writer nor the late reader
    lock.unlockRead();
    writer.join();
    lateReader.join();
    EXPECT_EQ(writerAt, 1);
    EXPECT_EQ(readerAt, 2);
    EXPECT_EQ(lock.count(), 1u);
}

TEST_F(Lock, ReadersShareAndWritersWaitForReadersAndForEachOther) {
    lock.lockRead();
    std::thread other([&] {
        lock.lockRead();
        lock.unlockRead();
    });
    other.join();  // would hang if readers excluded each other
    lock.unlockRead();

    // A writer without readers enters at once; the next writer waits for
    // its own readers (the first writer's drained signal does not leak),
    // and a writer waits for the writer before it.
    lock.lockWrite();
    EXPECT_EQ(lock.count(), 0u);
    lock.unlockWrite();
    EXPECT_EQ(lock.count(), 1u);
    EXPECT_FALSE(lock.writerPending());
    for (bool readerFirst : {true, false}) {
        readerFirst ? lock.lockRead() : lock.lockWrite();
        std::atomic<bool> entered{false};
        std::thread writer([&] {
            lock.lockWrite();
            entered = true;
            lock.unlockWrite();
        });
        if (readerFirst) {
            ASSERT_TRUE(eventually([&] { return lock.writerPending(); }));
        }
        std::this_thread::sleep_for(30ms);
        EXPECT_FALSE(entered) << readerFirst;
        readerFirst ? lock.unlockRead() : lock.unlockWrite();
        writer.join();
        EXPECT_TRUE(entered) << readerFirst;
    }
    EXPECT_EQ(lock.count(), 1u);

    // A status holding an error builds nothing but the counters.
    tStatus failed;
    failed.code = -50000;
    ReaderWriterLock unbuilt(failed);
    EXPECT_EQ(failed.code, -50000);
    EXPECT_EQ(unbuilt.count(), 1u);
    EXPECT_FALSE(unbuilt.writerPending());
}

TEST(LockStress, ReadersNeverOverlapAWriterAndWritersAreNotStarved) {
    tStatus status;
    ReaderWriterLock lock(status);
    ASSERT_EQ(status.code, 0);
    constexpr int kReaders = 8, kWriters = 2;
    constexpr int kWritesEach = 1000;
    constexpr int kTotal = 1000000;
    std::atomic<int> readersInside{0}, writersInside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> operations{0};
    std::atomic<int> writersDone{0};
    std::atomic<bool> stop{false};
    uint64_t shared = 0;  // written by writers only; TSan checks the exclusion too

    std::vector<std::thread> threads;
    for (int r = 0; r < kReaders; ++r) {
        threads.emplace_back([&] {
            uint64_t seen = 0;
            // Readers go on until the writers are through and the total is
            // reached: a starved writer would keep them here until stopped.
            while (!stop && (writersDone < kWriters || operations < kTotal)) {
                lock.lockRead();
                ++readersInside;
                if (writersInside != 0) ++overlaps;
                seen += shared;
                --readersInside;
                lock.unlockRead();
                ++operations;
            }
            (void)seen;
        });
    }
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&] {
            for (int i = 0; i < kWritesEach && !stop; ++i) {
                lock.lockWrite();
                if (++writersInside != 1 || readersInside != 0) ++overlaps;
                ++shared;
                --writersInside;
                lock.unlockWrite();
                ++operations;
            }
            ++writersDone;
        });
    }
    const bool finished = eventually([&] { return writersDone == kWriters; }, 120s);
    if (!finished) stop = true;
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(finished) << "writers starved";
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(shared, static_cast<uint64_t>(kWriters) * kWritesEach);
    EXPECT_GE(operations, kTotal);
    EXPECT_EQ(lock.count(), 1u);
}

}  // namespace
