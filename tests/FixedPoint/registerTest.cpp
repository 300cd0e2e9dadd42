#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "FixedPoint/FixedPoint.h"
#include "qverr/Exception.h"

namespace {

using sdihal::tFixedPointFormat;
using sdihal::tFixedPointValue;

TEST(RegisterFixedPoint, WireLayoutAndDefaults) {
    const tFixedPointValue value;
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    const unsigned char expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);

    const tFixedPointValue set{0x0102030405060708ull, {true, 24, -3}};
    std::memcpy(bytes, &set, sizeof set);
    const unsigned char setBytes[16] = {8, 7, 6, 5, 4, 3, 2, 1, 1, 24, 0xFD, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, setBytes, 16), 0);
}

TEST(RegisterFixedPoint, DoubleToFixedPointRoundsHalfUpAndSaturates) {
    tFixedPointValue value;
    const tFixedPointFormat signed16{true, 16, 8};   // 8 fractional bits
    sdihal::doubleToFixedPoint(signed16, value, 1.5);
    EXPECT_EQ(value.bits, 384u);
    EXPECT_EQ(value.format.wordLength, 16);
    EXPECT_EQ(value.format.integerWordLength, 8);
    EXPECT_TRUE(value.format.isSigned);
    sdihal::doubleToFixedPoint(signed16, value, -1.0 / 512);   // a tie: toward plus infinity
    EXPECT_EQ(value.bits, 0u);
    sdihal::doubleToFixedPoint(signed16, value, -3.0 / 512);
    EXPECT_EQ(static_cast<int64_t>(value.bits), -1);
    sdihal::doubleToFixedPoint(signed16, value, 1000.0);
    EXPECT_EQ(value.bits, 32767u);
    sdihal::doubleToFixedPoint(signed16, value, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(static_cast<int64_t>(value.bits), -32768);
    sdihal::doubleToFixedPoint(signed16, value, std::nan(""));
    EXPECT_EQ(value.bits, 0u);
    sdihal::doubleToFixedPoint({false, 64, 64}, value, std::numeric_limits<double>::infinity());
    EXPECT_EQ(value.bits, ~uint64_t{0});
}

TEST(RegisterFixedPoint, CoerceReportsTheConvertedNumber) {
    tFixedPointValue value;
    double coerced = 0;
    const tFixedPointFormat unsigned8{false, 8, 8};
    sdihal::coerceDoubleToFixedPoint(unsigned8, value, coerced, 1, 2.5);
    EXPECT_EQ(value.bits, 2u);
    EXPECT_EQ(coerced, 2.0);
    sdihal::coerceDoubleToFixedPoint(unsigned8, value, coerced, 6, 2.25);
    EXPECT_EQ(coerced, 3.0);
    sdihal::coerceDoubleToFixedPoint(unsigned8, value, coerced, 42, 2.5);   // half up
    EXPECT_EQ(coerced, 3.0);
    sdihal::coerceDoubleToFixedPoint(unsigned8, value, coerced, 3, -7.0);
    EXPECT_EQ(coerced, 0.0);
    sdihal::coerceDoubleToFixedPoint({true, 12, 2}, value, coerced, 2, 0.3);
    EXPECT_EQ(coerced, 307.0 / 1024);
}

TEST(RegisterFixedPoint, FixedPointToDoubleReadsTheWordUnderItsFormat) {
    EXPECT_EQ(sdihal::fixedPointToDouble(tFixedPointValue{}), 0.0);
    EXPECT_EQ(sdihal::fixedPointToDouble({384, {true, 16, 8}}), 1.5);
    // The driver may hand back a signed word without sign extension.
    EXPECT_EQ(sdihal::fixedPointToDouble({0xFFFF, {true, 16, 8}}), -1.0 / 256);
    EXPECT_EQ(sdihal::fixedPointToDouble({0xFFFF, {false, 16, 8}}), 65535.0 / 256);
    EXPECT_EQ(sdihal::fixedPointToDouble({~uint64_t{0}, {false, 64, 0}}), 1.0);
}

TEST(RegisterFixedPoint, WordLengthsOutsideOneTo64AreRefused) {
    tFixedPointValue value;
    value.bits = 77;
    double coerced = 0;
    for (uint8_t wordLength : {0, 65, 255}) {
        const tFixedPointFormat format{false, wordLength, 0};
        try {
            sdihal::doubleToFixedPoint(format, value, 1.0);
            ADD_FAILURE() << int(wordLength);
        } catch (const qverr::Exception& e) {
            EXPECT_EQ(e.status.code, -52003);
        }
        EXPECT_THROW(sdihal::coerceDoubleToFixedPoint(format, value, coerced, 2, 1.0),
                     qverr::Exception);
        EXPECT_THROW(sdihal::fixedPointToDouble({1, format}), qverr::Exception);
        EXPECT_EQ(value.bits, 77u);
    }
}

TEST(VersionCheck, LaterFindingsReplaceEarlierOnes) {
    EXPECT_EQ(sdihal::tVersionCheck(3, 3, 3, 3, -1, -2, -3, -4).errorCode(), 0);
    const sdihal::tVersionCheck compatible(5, 2, 4, 3, -1, -2, -3, -4);
    EXPECT_EQ(compatible.errorCode(), 0);
    EXPECT_FALSE(compatible.peerTooOld);
    EXPECT_FALSE(compatible.selfTooOld);

    const sdihal::tVersionCheck peerOld(5, 4, 3, 1, -1, -2, -3, -4);
    EXPECT_TRUE(peerOld.peerTooOld);
    EXPECT_EQ(peerOld.errorCode(), -1);

    const sdihal::tVersionCheck selfOld(2, 1, 6, 4, -1, -2, -3, -4);
    EXPECT_TRUE(selfOld.selfTooOld);
    EXPECT_EQ(selfOld.errorCode(), -2);

    // The peer's range is inverted.
    EXPECT_EQ(sdihal::tVersionCheck(5, 1, 3, 4, -1, -2, -3, -4).errorCode(), -4);
    // Our own range is inverted, which also makes the peer look old.
    EXPECT_EQ(sdihal::tVersionCheck(2, 3, 2, 1, -1, -2, -3, -4).errorCode(), -3);
    // A finding without a code keeps the earlier code.
    EXPECT_EQ(sdihal::tVersionCheck(2, 3, 2, 1, -1, -2, 0, -4).errorCode(), -1);
}

}  // namespace
