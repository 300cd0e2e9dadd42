// The registry of live handles: kinds and owners through growth, clearing of
// dropped handles and reuse of addresses; look-ups on several threads while
// others add and drop handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "HALUtilities/HandleRegistry.h"

namespace {

using qv3377hal::HandleKind;

// Handles as allocations are: 16-byte aligned, each test in its own range.
constexpr uint64_t handleAt(uint64_t base, uint64_t i) {
    return base + 16 * i;
}

TEST(HandleRegistry, KindsAndOwnersSurviveGrowthAndTheClearingOfDroppedHandles) {
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
    // Writers hold up to 2,000 handles each at a time: the table grows and
    // is cleared under the readers.
    std::vector<std::thread> writers;
    for (uint64_t w = 0; w < 2; ++w) {
        writers.emplace_back([&, w] {
            for (uint64_t round = 0; round < 5; ++round) {
                for (uint64_t i = 0; i < 2000; ++i) {
                    qv3377hal::addHandle(handleAt(kChurn + (w << 32), i), HandleKind::trigContext);
                }
                for (uint64_t i = 0; i < 2000; ++i) {
                    wrong += !qv3377hal::dropHandle(handleAt(kChurn + (w << 32), i),
                                                    HandleKind::trigContext);
                }
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
