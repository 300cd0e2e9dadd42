#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FixedPoint/FixedPoint.h"
#include "qverr/Exception.h"

namespace {

using sdihal::tFixedPointFormat;
using sdihal::tFixedPointValue;

TEST(RegisterFixedPoint, WireLayout) {
    const tFixedPointValue values[2] = {{}, {0x0102030405060708ull, {true, 24, -3}}};
    const unsigned char expected[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1,  1,    0,    0, 0, 0, 0,
                                        8, 7, 6, 5, 4, 3, 2, 1, 1, 24, 0xFD, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(values, expected, sizeof expected), 0);
}

// Rounding and saturation are checked against a reference on random values.
TEST(RegisterFixedPoint, NaNUnknownModesAndWordsWithoutSignExtension) {
    tFixedPointValue value;
    sdihal::doubleToFixedPoint({true, 16, 8}, value, std::nan(""));
    EXPECT_EQ(value.bits, 0u);
    EXPECT_EQ(value.format.integerWordLength, 8);
    double coerced = 0;
    sdihal::coerceDoubleToFixedPoint({false, 8, 8}, value, coerced, 42, 2.5);  // half up
    EXPECT_EQ(coerced, 3.0);

    // A word handed back without sign extension reads by its format.
    EXPECT_EQ(sdihal::fixedPointToDouble({0xFFFF, {true, 16, 8}}), -1.0 / 256);
    EXPECT_EQ(sdihal::fixedPointToDouble({0xFFFF, {false, 16, 8}}), 65535.0 / 256);
}

TEST(RegisterFixedPoint, WordLengthsOutsideOneTo64AreRefused) {
    tFixedPointValue value{77, {}};
    double coerced = 0;
    for (uint8_t wordLength : {0, 65, 255}) {
        const tFixedPointFormat format{false, wordLength, 0};
        EXPECT_THROW(sdihal::doubleToFixedPoint(format, value, 1.0), qverr::Exception);
        EXPECT_THROW(sdihal::coerceDoubleToFixedPoint(format, value, coerced, 2, 1.0),
                     qverr::Exception);
        EXPECT_THROW(sdihal::fixedPointToDouble({1, format}), qverr::Exception);
        EXPECT_EQ(value.bits, 77u);
    }
}

TEST(VersionCheck, LaterFindingsReplaceEarlierOnes) {
    auto code = [](uint32_t current, uint32_t oldest, uint32_t peer, uint32_t peerOldest,
                   int32_t ownRangeCode = -3) {
        return sdihal::tVersionCheck(current, oldest, peer, peerOldest, -1, -2, ownRangeCode, -4)
            .errorCode();
    };
    EXPECT_EQ(code(3, 3, 3, 3), 0);
    EXPECT_EQ(code(5, 2, 4, 3), 0);
    EXPECT_EQ(code(5, 4, 3, 1), -1);     // peer too old
    EXPECT_EQ(code(2, 1, 6, 4), -2);     // we are too old
    EXPECT_EQ(code(5, 1, 3, 4), -4);     // the peer's range is inverted
    EXPECT_EQ(code(2, 3, 2, 1), -3);     // ours is, which also makes the peer look old
    EXPECT_EQ(code(2, 3, 2, 1, 0), -1);  // a finding without a code keeps the last one
    EXPECT_TRUE(sdihal::tVersionCheck(5, 4, 3, 1, -1, -2, -3, -4).peerTooOld);
}

}  // namespace
