// The registry of live handles: kinds and owners through growth, clearing of
// dropped handles, moves to smaller tables after a peak and reuse of
// addresses; what a peak leaves resident; look-ups on several threads while
// others add and drop handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "HALUtilities/HandleRegistry.h"
#include "support/ProcessPages.h"
#include "support/ThreadChecker.h"

namespace {

using qv3377hal::HandleKind;

// Handles as allocations are: 16-byte aligned, each test in its own range.
constexpr uint64_t handleAt(uint64_t base, uint64_t i) {
    return base + 16 * i;
}

TEST(HandleRegistry, KindsAndOwnersSurviveGrowthClearingAndMovesAfterAPeak) {
    constexpr uint64_t kBase = 0x7f1000000000;
    constexpr uint64_t kOwner = 0x7f1fff000000;
    constexpr uint64_t kCount = 3000;
    for (uint64_t i = 0; i < kCount; ++i) {
        const HandleKind kind = i % 2 ? HandleKind::trigContext : HandleKind::p2pSession;
        if (i % 3 == 0) {
            qv3377hal::addHandle(handleAt(kBase, i), kind, kOwner, HandleKind::deviceSession);
        } else {
            qv3377hal::addHandle(handleAt(kBase, i), kind);
        }
    }
    // Many short-lived handles: dropped slots are cleared again and again.
    for (uint64_t i = 0; i < 20000; ++i) {
        const uint64_t handle = handleAt(kBase, kCount + i);
        qv3377hal::addHandle(handle, HandleKind::rfplatSession);
        ASSERT_TRUE(qv3377hal::dropHandle(handle, HandleKind::rfplatSession));
        ASSERT_FALSE(qv3377hal::dropHandle(handle, HandleKind::rfplatSession));
    }
    // A peak ten times as large, gone again: the others move to smaller
    // tables on the way down.
    for (uint64_t i = 0; i < 10 * kCount; ++i)
        qv3377hal::addHandle(handleAt(kBase, 2 * kCount + i), HandleKind::rfplatSession);
    for (uint64_t i = 0; i < 10 * kCount; ++i)
        ASSERT_TRUE(
            qv3377hal::dropHandle(handleAt(kBase, 2 * kCount + i), HandleKind::rfplatSession));
    for (uint64_t i = 0; i < kCount; ++i) {
        const uint64_t handle = handleAt(kBase, i);
        const HandleKind kind = i % 2 ? HandleKind::trigContext : HandleKind::p2pSession;
        ASSERT_EQ(qv3377hal::ownerOfLiveHandle(handle, kind), i % 3 == 0 ? kOwner : 0) << i;
        ASSERT_FALSE(qv3377hal::isLiveHandle(handle, HandleKind::rfplatSession));
        ASSERT_FALSE(qv3377hal::isLiveHandle(handle + 8, kind));
    }
    EXPECT_FALSE(qv3377hal::isLiveHandle(handleAt(kBase, kCount), HandleKind::rfplatSession));
    EXPECT_FALSE(qv3377hal::isLiveHandle(0, HandleKind::deviceSession));

    // A drop names the kind; an address freed and handed out again is live
    // with its new kind and owner.
    EXPECT_FALSE(qv3377hal::dropHandle(handleAt(kBase, 1), HandleKind::p2pSession));
    EXPECT_TRUE(qv3377hal::dropHandle(handleAt(kBase, 1), HandleKind::trigContext));
    qv3377hal::addHandle(handleAt(kBase, 1), HandleKind::terminalIterator, kOwner,
                         HandleKind::routingAdaptorSession);
    EXPECT_EQ(qv3377hal::ownerOfLiveHandle(handleAt(kBase, 1), HandleKind::terminalIterator),
              kOwner);

    // The owner's dependents go together, and only they: not those of an
    // earlier owner of another kind at the same address.
    qv3377hal::dropOwnedBy(kOwner, HandleKind::deviceSession);
    EXPECT_TRUE(qv3377hal::isLiveHandle(handleAt(kBase, 1), HandleKind::terminalIterator));
    for (uint64_t i = 0; i < kCount; ++i) {
        const HandleKind kind = i % 2 ? HandleKind::trigContext : HandleKind::p2pSession;
        const bool live = i != 1 && i % 3 != 0;
        ASSERT_EQ(qv3377hal::isLiveHandle(handleAt(kBase, i), kind), live) << i;
        if (live) qv3377hal::dropHandle(handleAt(kBase, i), kind);
    }
    qv3377hal::dropHandle(handleAt(kBase, 1), HandleKind::terminalIterator);
}

TEST(HandleRegistry, APeakLeavesLittleResidentOnceItsHandlesAreGone) {
    if (qvtest::kThreadChecker) GTEST_SKIP() << "the thread checker keeps its shadow of the tables";
    constexpr uint64_t kBase = 0x7f4000000000;
    constexpr uint64_t kOwner = 0x7f4fff000000;
    constexpr uint64_t kPeak = 100000;
    // As many calls on one handle first: what the calls themselves leave
    // resident (the address checker's frames) is there before the peak.
    for (uint64_t i = 0; i < kPeak; ++i) {
        qv3377hal::addHandle(handleAt(kBase, 0), HandleKind::terminalIterator, kOwner,
                             HandleKind::routingAdaptorSession);
        qv3377hal::dropHandle(handleAt(kBase, 0), HandleKind::terminalIterator);
    }
    const int64_t before = qvtest::processPages().resident;
    for (uint64_t i = 0; i < kPeak; ++i) {
        qv3377hal::addHandle(handleAt(kBase, i), HandleKind::terminalIterator, kOwner,
                             HandleKind::routingAdaptorSession);
    }
    const int64_t atPeak = qvtest::processPages().resident;
    for (uint64_t i = 0; i < kPeak; i += 2)
        ASSERT_TRUE(qv3377hal::dropHandle(handleAt(kBase, i), HandleKind::terminalIterator));
    qv3377hal::dropOwnedBy(kOwner, HandleKind::routingAdaptorSession);
    EXPECT_FALSE(qv3377hal::isLiveHandle(handleAt(kBase, 1), HandleKind::terminalIterator));
    EXPECT_LT(qvtest::processPages().resident - before, (atPeak - before) / 8)
        << before << " " << atPeak;
}

TEST(HandleRegistry, AnAddPastTheLargestTableFailsAndChangesNothing) {
    constexpr uint64_t kBase = 0x7f5000000000;
    constexpr uint64_t kOwner = 0x7f5fff000000;
    constexpr uint64_t kMostLive = uint64_t{1} << 18;
    for (uint64_t i = 0; i < kMostLive; ++i) {
        qv3377hal::addHandle(handleAt(kBase, i), HandleKind::trigContext, kOwner,
                             HandleKind::deviceSession);
    }
    EXPECT_THROW(qv3377hal::addHandle(handleAt(kBase, kMostLive), HandleKind::trigContext),
                 std::bad_alloc);
    EXPECT_FALSE(qv3377hal::isLiveHandle(handleAt(kBase, kMostLive), HandleKind::trigContext));
    EXPECT_TRUE(qv3377hal::isLiveHandle(handleAt(kBase, kMostLive - 1), HandleKind::trigContext));
    qv3377hal::dropOwnedBy(kOwner, HandleKind::deviceSession);
    EXPECT_FALSE(qv3377hal::isLiveHandle(handleAt(kBase, 0), HandleKind::trigContext));
    qv3377hal::addHandle(handleAt(kBase, kMostLive), HandleKind::trigContext);
    EXPECT_TRUE(qv3377hal::dropHandle(handleAt(kBase, kMostLive), HandleKind::trigContext));
}

TEST(HandleRegistry, LookUpsOnOtherThreadsSeeLiveHandlesLiveWhileOthersChange) {
    constexpr uint64_t kLive = 0x7f2000000000;
    constexpr uint64_t kChurn = 0x7f3000000000;
    constexpr uint64_t kLiveCount = 64;
    for (uint64_t i = 0; i < kLiveCount; ++i)
        qv3377hal::addHandle(handleAt(kLive, i), HandleKind::deviceSession);

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                for (uint64_t i = 0; i < kLiveCount; ++i) {
                    wrong +=
                        !qv3377hal::isLiveHandle(handleAt(kLive, i), HandleKind::deviceSession);
                    wrong +=
                        qv3377hal::isLiveHandle(handleAt(kLive, i) + 8, HandleKind::deviceSession);
                }
            }
        });
    }
    // Writers hold up to 2,000 handles each at a time, of an owner each:
    // the table grows, is cleared, and moves to smaller ones as drops and
    // drops by owner empty it, under the readers.
    std::vector<std::thread> writers;
    for (uint64_t w = 0; w < 2; ++w) {
        writers.emplace_back([&, w] {
            const uint64_t owner = kChurn + (w << 32) - 16;
            for (uint64_t round = 0; round < 5; ++round) {
                for (uint64_t i = 0; i < 2000; ++i) {
                    qv3377hal::addHandle(handleAt(kChurn + (w << 32), i), HandleKind::trigContext,
                                         owner, HandleKind::deviceSession);
                }
                for (uint64_t i = 0; i < 2000; i += 2) {
                    wrong += !qv3377hal::dropHandle(handleAt(kChurn + (w << 32), i),
                                                    HandleKind::trigContext);
                }
                qv3377hal::dropOwnedBy(owner, HandleKind::deviceSession);
                wrong += qv3377hal::isLiveHandle(handleAt(kChurn + (w << 32), 1),
                                                 HandleKind::trigContext);
            }
        });
    }
    for (auto& writer : writers) writer.join();
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0u);
    for (uint64_t i = 0; i < kLiveCount; ++i)
        qv3377hal::dropHandle(handleAt(kLive, i), HandleKind::deviceSession);
}

}  // namespace
