#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "atomiczekddk/shared/RegisterSequenceDetector.h"

namespace {

// Feeds steps 1..upTo of the sequence, with the interludes that are allowed.
void feed(qvzek::RegisterSequenceDetector& detector, int upTo) {
    if (upTo >= 1) detector.onCommand(6), detector.onCommand(4), detector.onRead(82);
    if (upTo >= 2) detector.onWrite(23, 2), detector.onCommand(6);
    if (upTo >= 3) detector.onCommand(1), detector.onCommand(1);
    if (upTo >= 4) detector.onRead(58), detector.onRead(82);
    if (upTo >= 5) detector.onRead(48);
}

TEST(RegisterSequenceDetector, OnlyTheWholeSequenceCompletesIt) {
    for (int step = 1; step <= 4; ++step) {
        qvzek::RegisterSequenceDetector detector;
        feed(detector, step);
        detector.onWrite(23, 3);  // any other access starts over
        detector.onRead(58);
        detector.onRead(48);
        EXPECT_FALSE(detector.isComplete()) << step;
    }
    qvzek::RegisterSequenceDetector detector;
    detector.onRead(58);  // ignored while idle
    feed(detector, 5);
    EXPECT_TRUE(detector.isComplete());
    detector.onCommand(0);
    EXPECT_TRUE(detector.isComplete());
}

// Reads of offset 82 from other threads may come between any two steps;
// they neither break nor complete the sequence fed by one thread.
TEST(RegisterSequenceDetector, ReadsOfOtherThreadsThatMayComeBetweenStepsKeepTheSequence) {
    for (int trial = 0; trial < 20; ++trial) {
        qvzek::RegisterSequenceDetector detector;
        std::atomic<bool> stop{false};
        std::vector<std::thread> readers;
        for (int i = 0; i < 3; ++i) {
            readers.emplace_back([&] {
                while (!stop.load()) {
                    detector.onRead(82);
                    (void)detector.isComplete();
                }
            });
        }
        feed(detector, 4);
        EXPECT_FALSE(detector.isComplete());
        detector.onRead(48);
        EXPECT_TRUE(detector.isComplete());
        stop = true;
        for (auto& reader : readers) reader.join();
        EXPECT_TRUE(detector.isComplete());
    }
}

}  // namespace
