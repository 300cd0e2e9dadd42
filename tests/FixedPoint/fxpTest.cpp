#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "FixedPoint/FXP.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

void expectFxp(const FXP& v, int32_t wordLength, int32_t integerWordLength, bool isSigned,
               int64_t bits) {
    EXPECT_EQ(v.wordLength, wordLength);
    EXPECT_EQ(v.integerWordLength, integerWordLength);
    EXPECT_EQ(v.isSigned, isSigned);
    EXPECT_EQ(static_cast<int64_t>(v.bits), bits);
}

// Into 8-bit words with no fractional bits.
int64_t to8(double x, bool isSigned, int32_t overflow, int32_t quantization,
            bool* overflowed = nullptr) {
    return static_cast<int64_t>(
        FXP::convert(FXP(x), 8, 8, isSigned, overflow, quantization, nullptr, nullptr, overflowed)
            .bits);
}

std::vector<std::string> assertions;

TEST(Fxp, ExactFromDoubleAndBack) {
    expectFxp(FXP(0.75), 2, 0, false, 3);
    expectFxp(FXP(-0.5), 1, 0, true, -1);
    expectFxp(FXP(-0.75), 3, 1, true, -3);
    expectFxp(FXP(300.0), 7, 9, false, 75);
    expectFxp(FXP(-0.0), 1, 1, true, 0);
    expectFxp(FXP(std::nan("")), 1, 1, false, 0);
    expectFxp(FXP(kInf), 64, 32767, false, -1);
    expectFxp(FXP(-kInf), 64, 32767, true, INT64_MIN);
    expectFxp(FXP(std::numeric_limits<double>::denorm_min()), 1, -1073, false, 1);
    for (double x : {0.1, -1e-300, 123456789.125, -std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min(), -kInf, kInf}) {
        EXPECT_EQ(FXP(x).toDouble(), x) << x;
    }
    // The scale never turns a sign or a zero around.
    EXPECT_EQ(FXP(0xFFF, 12, 4, true).toDouble(), -1.0 / 256);
    EXPECT_EQ(FXP(1, 1, 1100, true).toDouble(), -kInf);
    EXPECT_EQ(FXP(0, 64, 32767, true).toDouble(), 0.0);
    EXPECT_EQ(FXP(uint64_t{1} << 62, 64, -1060, false).toDouble(), std::ldexp(1.0, -1062));
}

TEST(Fxp, WordLengthsOutsideOneTo64AreRefused) {
    for (int32_t wordLength : {0, 65}) {
        try {
            FXP(0, wordLength, 0, false);
            ADD_FAILURE();
        } catch (const qverr::Exception& e) {
            EXPECT_EQ(e.status.code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
            EXPECT_NE(std::string(e.what()).find("\"component\":\"internal_sdi_hal23u\""),
                      std::string::npos);
        }
        EXPECT_THROW(FXP::convert(FXP(1.0), wordLength, 0, false, 2, 2), qverr::Exception);
    }
    FXP bad;
    bad.wordLength = 70;
    EXPECT_THROW(bad.toDouble(), qverr::Exception);
    EXPECT_THROW(FXP(1.0).compare(bad), qverr::Exception);
}

TEST(Fxp, BoundsComparisonAndBits) {
    expectFxp(FXP::minimum(8, 8, true), 8, 8, true, -128);
    expectFxp(FXP::maximum(64, 0, false), 64, 0, false, -1);
    EXPECT_EQ(FXP::leastSignificantBit(1, 0, true).toDouble(), 0.5);
    EXPECT_EQ(FXP(0.75).compare(FXP(3, 4, 2, false)), 0);
    EXPECT_EQ(FXP(-0.25).compare(FXP(0, 8, 8, false)), -1);
    EXPECT_EQ(FXP(-1e300).compare(FXP(-1e299)), -1);
    EXPECT_EQ(FXP(0xF0F, 8, 8, false).compare(FXP(0x0F, 8, 8, false)), 0);
    const FXP value(static_cast<uint64_t>(-6), 4, 2, true);  // 1010b at weights 2^1..2^-2
    std::vector<int> bits;
    for (int weight = -3; weight <= 3; ++weight) bits.push_back(value.bit(weight));
    EXPECT_EQ(bits, (std::vector<int>{0, 0, 1, 0, 1, 1, 1}));
    EXPECT_EQ(FXP::countTrailingZeros(0), 64);
    EXPECT_EQ(FXP::countTrailingZeros(0x50), 4);
    EXPECT_FALSE(FXP(0x80, 8, 8, true).isInRange());
}

// Every mode is checked against a reference on random values; given bounds
// are not.
TEST(Fxp, SaturationAtGivenBoundsRoundedInwards) {
    const FXP low(-1.5), high(10.25);
    bool overflowed = false;
    EXPECT_EQ(static_cast<int64_t>(FXP::convert(FXP(-5.0), 8, 8, true, 2, 2, &low, &high).bits),
              -1);
    EXPECT_EQ(FXP::convert(FXP(11.0), 8, 8, true, 2, 2, &low, &high, &overflowed).bits, 10u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(FXP::convert(FXP(3.0), 8, 8, true, 2, 2, &low, &high, &overflowed).bits, 3u);
    EXPECT_FALSE(overflowed);
}

TEST(Fxp, ConsistencyChecksReachTheAssertionHook) {
    FXP::setAssertionHook([](const char*, int, const char*, const char* message) {
        assertions.emplace_back(message);
    });
    EXPECT_EQ(to8(2.5, false, 2, 0), 2);
    EXPECT_EQ(to8(3.0, false, 2, 0), 3);
    EXPECT_EQ(to8(300, false, 0, 2), 255);
    EXPECT_EQ(to8(2.5, false, 2, 9), 3);
    bool overflowed = true;
    EXPECT_EQ(to8(300, false, 7, 2, &overflowed), 300);  // kept unreduced
    EXPECT_FALSE(overflowed);
    FXP::setAssertionHook(nullptr);
    EXPECT_EQ(assertions, (std::vector<std::string>{
                              "Quantization possible though caller didn't think so.",
                              "Overflow possible though caller didn't think so.",
                              "Unexpected Quantization Mode", "Unexpected Overflow Mode"}));
}

}  // namespace
