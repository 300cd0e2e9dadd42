#include "atomiczekddk/shared/RegisterSequenceDetector.h"

#include <gtest/gtest.h>

namespace {

TEST(RegisterSequenceDetector, TheSequenceCompletesWithAllowedInterludes) {
    qvzek::RegisterSequenceDetector detector;
    detector.onRead(58);
    detector.onCommand(6);
    detector.onCommand(4);
    detector.onRead(82);
    detector.onWrite(23, 2);
    detector.onCommand(6);
    detector.onCommand(1);
    detector.onCommand(1);
    detector.onRead(82);
    detector.onRead(58);
    EXPECT_FALSE(detector.isComplete());
    detector.onRead(82);
    detector.onRead(48);
    EXPECT_TRUE(detector.isComplete());
    // Complete stays complete.
    detector.onCommand(0);
    detector.onWrite(1, 1);
    EXPECT_TRUE(detector.isComplete());
}

TEST(RegisterSequenceDetector, AnyOtherAccessStartsOver) {
    qvzek::RegisterSequenceDetector detector;
    auto upToState = [&](int state) {
        detector.onCommand(0);
        detector.onCommand(6);
        if (state >= 2) detector.onWrite(23, 2);
        if (state >= 3) detector.onCommand(1);
        if (state >= 4) detector.onRead(58);
    };
    auto finish = [&](int state) {
        if (state <= 1) detector.onWrite(23, 2);
        if (state <= 2) detector.onCommand(1);
        if (state <= 3) detector.onRead(58);
        detector.onRead(48);
    };
    upToState(1);
    detector.onWrite(23, 3);
    finish(1);
    EXPECT_FALSE(detector.isComplete());
    upToState(2);
    detector.onCommand(4);
    finish(2);
    EXPECT_FALSE(detector.isComplete());
    upToState(3);
    detector.onRead(48);
    finish(3);
    EXPECT_FALSE(detector.isComplete());
    upToState(4);
    detector.onCommand(1);
    finish(4);
    EXPECT_FALSE(detector.isComplete());
    upToState(4);
    finish(4);
    EXPECT_TRUE(detector.isComplete());
}

}  // namespace
