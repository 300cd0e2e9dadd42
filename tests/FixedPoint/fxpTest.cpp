#include "FixedPoint/FXP.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "qverr/Exception.h"

namespace {

void expectFxp(const FXP& value, int32_t wordLength, int32_t integerWordLength, bool isSigned,
               uint64_t bits) {
    EXPECT_EQ(value.wordLength, wordLength);
    EXPECT_EQ(value.integerWordLength, integerWordLength);
    EXPECT_EQ(value.isSigned, isSigned);
    EXPECT_EQ(value.bits, bits);
}

int64_t signedBits(const FXP& value) { return static_cast<int64_t>(value.bits); }

FXP to(double value, int32_t wordLength, int32_t integerWordLength, bool isSigned,
       int32_t overflowMode, int32_t quantizationMode, bool* overflowed = nullptr) {
    return FXP::convert(FXP(value), wordLength, integerWordLength, isSigned, overflowMode,
                        quantizationMode, nullptr, nullptr, overflowed);
}

// Records what the consistency checks report.
std::vector<std::string> assertions;
void recordAssertion(const char*, int, const char*, const char* message) {
    assertions.emplace_back(message);
}

class FxpAssertions : public testing::Test {
protected:
    void SetUp() override {
        assertions.clear();
        FXP::setAssertionHook(&recordAssertion);
    }
    void TearDown() override { FXP::setAssertionHook(nullptr); }
};

TEST(FxpFromDouble, IsExact) {
    expectFxp(FXP(0.75), 2, 0, false, 3);
    expectFxp(FXP(-0.5), 1, 0, true, static_cast<uint64_t>(-1));
    expectFxp(FXP(-0.75), 3, 1, true, static_cast<uint64_t>(-3));
    expectFxp(FXP(1.0), 1, 1, false, 1);
    expectFxp(FXP(300.0), 7, 9, false, 75);
    expectFxp(FXP(-4.0), 1, 3, true, static_cast<uint64_t>(-1));
    expectFxp(FXP(0.0), 1, 1, true, 0);
    expectFxp(FXP(-0.0), 1, 1, true, 0);
    expectFxp(FXP(std::nan("")), 1, 1, false, 0);
    expectFxp(FXP(std::numeric_limits<double>::infinity()), 64, 32767, false, ~uint64_t{0});
    expectFxp(FXP(-std::numeric_limits<double>::infinity()), 64, 32767, true, uint64_t{1} << 63);
    expectFxp(FXP(std::numeric_limits<double>::denorm_min()), 1, -1073, false, 1);
    expectFxp(FXP(-std::numeric_limits<double>::max()), 54, 1025, true,
              static_cast<uint64_t>(-((int64_t{1} << 53) - 1)));
}

TEST(FxpFromDouble, RoundTripsThroughDouble) {
    const double samples[] = {0.1,
                              -0.1,
                              1e300,
                              -1e-300,
                              123456789.125,
                              -2.5,
                              std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::max(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::infinity()};
    for (double x : samples) EXPECT_EQ(FXP(x).toDouble(), x) << x;
    EXPECT_EQ(FXP(0.0).toDouble(), 0.0);
    EXPECT_EQ(FXP(std::nan("")).toDouble(), 0.0);
}

TEST(FxpToDouble, ScalesByTheBinaryPoint) {
    EXPECT_EQ(FXP(0xFFF, 12, 4, true).toDouble(), -1.0 / 256);
    EXPECT_EQ(FXP(0xFFF, 12, 4, false).toDouble(), 4095.0 / 256);
    EXPECT_EQ(FXP(1, 1, 1000, false).toDouble(), std::ldexp(1.0, 999));
    EXPECT_EQ(FXP(1, 1, 1100, false).toDouble(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(FXP(1, 1, -1100, false).toDouble(), 0.0);
    EXPECT_EQ(FXP(1, 1, 1100, true).toDouble(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(FXP(0, 64, 32767, true).toDouble(), 0.0);
    EXPECT_EQ(FXP(uint64_t{1} << 62, 64, -1060, false).toDouble(), std::ldexp(1.0, -1062));
}

TEST(Fxp, WordLengthsOutsideOneTo64AreRefused) {
    for (int32_t wordLength : {0, -1, 65, 255}) {
        try {
            FXP(0, wordLength, 0, false);
            ADD_FAILURE() << wordLength;
        } catch (const qverr::Exception& e) {
            EXPECT_EQ(e.status.code, -52003);
            EXPECT_NE(std::string(e.what()).find("\"component\":\"internal_sdi_hal23u\""),
                      std::string::npos);
            EXPECT_NE(std::string(e.what()).find("qvapalerr_softwareFaultAPALInternalUseOnly"),
                      std::string::npos);
        }
        EXPECT_THROW(FXP::convert(FXP(1.0), wordLength, 0, false, 2, 2), qverr::Exception);
        EXPECT_THROW(FXP::maximum(wordLength, 0, true), qverr::Exception);
    }
    FXP bad;
    bad.wordLength = 70;
    EXPECT_THROW(bad.toDouble(), qverr::Exception);
    EXPECT_THROW(bad.compare(FXP(1.0)), qverr::Exception);
    EXPECT_THROW(FXP::convert(bad, 8, 8, false, 2, 2), qverr::Exception);
}

TEST(Fxp, FormatBoundsAndLeastSignificantBit) {
    expectFxp(FXP::minimum(8, 8, true), 8, 8, true, static_cast<uint64_t>(-128));
    expectFxp(FXP::maximum(8, 8, true), 8, 8, true, 127);
    expectFxp(FXP::minimum(8, 8, false), 8, 8, false, 0);
    expectFxp(FXP::maximum(8, 8, false), 8, 8, false, 255);
    expectFxp(FXP::maximum(64, 0, false), 64, 0, false, ~uint64_t{0});
    expectFxp(FXP::minimum(64, 0, true), 64, 0, true, uint64_t{1} << 63);
    EXPECT_EQ(FXP::leastSignificantBit(12, 4, true).toDouble(), 1.0 / 256);
    EXPECT_EQ(FXP::leastSignificantBit(1, 0, true).toDouble(), 0.5);
}

TEST(Fxp, ComparesExactValuesAcrossFormats) {
    EXPECT_EQ(FXP(0.75).compare(FXP(3, 4, 2, false)), 0);
    EXPECT_EQ(FXP(-0.25).compare(FXP(0, 8, 8, false)), -1);
    EXPECT_EQ(FXP(0, 8, 8, false).compare(FXP(-0.25)), 1);
    EXPECT_EQ(FXP(std::ldexp(1.0, -1074)).compare(FXP(0.0)), 1);
    EXPECT_EQ(FXP(1e300).compare(FXP(1e299)), 1);
    EXPECT_EQ(FXP(-1e300).compare(FXP(-1e299)), -1);
    EXPECT_EQ(FXP(~uint64_t{0}, 64, 64, false).compare(FXP(uint64_t{1} << 63, 64, 64, true)), 1);
    // Only the word's bits count, whatever lies above them.
    EXPECT_EQ(FXP(0xF0F, 8, 8, false).compare(FXP(0x0F, 8, 8, false)), 0);
}

TEST(Fxp, BitQueryAndTrailingZeros) {
    const FXP value(static_cast<uint64_t>(-6), 4, 2, true);   // 1010b, weights 2^1 .. 2^-2
    EXPECT_EQ(value.bit(-3), 0);
    EXPECT_EQ(value.bit(-2), 0);
    EXPECT_EQ(value.bit(-1), 1);
    EXPECT_EQ(value.bit(0), 0);
    EXPECT_EQ(value.bit(1), 1);
    EXPECT_EQ(value.bit(2), 1);     // the sign above the word
    EXPECT_EQ(value.bit(500), 1);
    EXPECT_EQ(FXP(0xA, 4, 2, false).bit(5), 0);
    EXPECT_EQ(FXP::countTrailingZeros(0), 64);
    EXPECT_EQ(FXP::countTrailingZeros(1), 0);
    EXPECT_EQ(FXP::countTrailingZeros(uint64_t{1} << 63), 63);
    EXPECT_EQ(FXP::countTrailingZeros(0x50), 4);
}

TEST(Fxp, RangeCheck) {
    EXPECT_TRUE(FXP(255, 8, 8, false).isInRange());
    EXPECT_FALSE(FXP(256, 8, 8, false).isInRange());
    EXPECT_TRUE(FXP(static_cast<uint64_t>(-128), 8, 8, true).isInRange());
    EXPECT_FALSE(FXP(128, 8, 8, true).isInRange());
    EXPECT_FALSE(FXP(0x80, 8, 8, true).isInRange());   // not sign-extended
}

TEST(FxpConvert, QuantizationModes) {
    const int expectedUnsigned[] = {2, 2, 3, 2, 2, 2, 3};
    for (int mode = 0; mode <= 6; ++mode) {
        EXPECT_EQ(to(2.5, 8, 8, false, 2, mode).bits, uint64_t(expectedUnsigned[mode])) << mode;
    }
    const int expectedSigned[] = {-2, -3, -2, -2, -2, -3, -2};
    for (int mode = 0; mode <= 6; ++mode) {
        EXPECT_EQ(signedBits(to(-2.5, 8, 8, true, 2, mode)), expectedSigned[mode]) << mode;
    }
    EXPECT_EQ(to(3.5, 8, 8, false, 2, 3).bits, 4u);   // ties to even, upwards
    EXPECT_EQ(signedBits(to(-2.75, 8, 8, true, 2, 2)), -3);
    EXPECT_EQ(signedBits(to(-2.25, 8, 8, true, 2, 6)), -2);
    // A finer target format loses nothing.
    expectFxp(to(-2.5, 16, 8, true, 2, 1), 16, 8, true, static_cast<uint64_t>(-640));
    EXPECT_EQ(to(2.5, 8, 8, false, 2, 99).bits, 3u);   // an unknown mode rounds half up
}

TEST(FxpConvert, DroppingMoreThanAWordOfBits) {
    const double tiny = std::ldexp(1.0, -200);
    EXPECT_EQ(to(tiny, 8, 8, true, 2, 1).bits, 0u);
    EXPECT_EQ(signedBits(to(-tiny, 8, 8, true, 2, 1)), -1);
    EXPECT_EQ(to(tiny, 8, 8, true, 2, 6).bits, 1u);
    EXPECT_EQ(to(-tiny, 8, 8, true, 2, 6).bits, 0u);   // ceiling of a negative value
    EXPECT_EQ(to(tiny, 8, 8, true, 2, 2).bits, 0u);
    EXPECT_EQ(to(-tiny, 8, 8, true, 2, 4).bits, 0u);
    // 64 bits dropped from an unsigned word of 0.75 x 2^64 units.
    const FXP big(uint64_t{3} << 62, 64, 64, false);
    EXPECT_EQ(FXP::convert(big, 8, 72, false, 2, 2).bits, 1u);
    EXPECT_EQ(FXP::convert(big, 8, 72, false, 2, 1).bits, 0u);
}

TEST(FxpConvert, OverflowModes) {
    bool overflowed = false;
    EXPECT_EQ(to(300, 8, 8, false, 2, 2, &overflowed).bits, 255u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(300, 8, 8, false, 1, 2, &overflowed).bits, 44u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(200, 8, 8, false, 1, 2, &overflowed).bits, 200u);
    EXPECT_FALSE(overflowed);
    EXPECT_EQ(signedBits(to(200, 8, 8, true, 1, 2, &overflowed)), -56);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(signedBits(to(-129, 8, 8, true, 2, 2, &overflowed)), -128);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(-1, 8, 8, false, 2, 2, &overflowed).bits, 0u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(-1, 8, 8, false, 1, 2, &overflowed).bits, 255u);
    EXPECT_TRUE(overflowed);
    // Far beyond any word: saturation by sign, wrapping leaves zero bits.
    EXPECT_EQ(to(1e30, 16, 16, true, 2, 2, &overflowed).bits, 32767u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(1e30, 16, 16, true, 1, 2, &overflowed).bits, 0u);
    EXPECT_TRUE(overflowed);
    // Rounding up may carry past the maximum.
    EXPECT_EQ(to(255.75, 8, 8, false, 2, 2, &overflowed).bits, 255u);
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(to(255.25, 8, 8, false, 2, 2, &overflowed).bits, 255u);
    EXPECT_FALSE(overflowed);
}

TEST(FxpConvert, SaturatesAtGivenBounds) {
    const FXP low(-1.5);
    const FXP high(10.25);
    bool overflowed = false;
    auto clamp = [&](double x) {
        return signedBits(FXP::convert(FXP(x), 8, 8, true, 2, 2, &low, &high, &overflowed));
    };
    EXPECT_EQ(clamp(-5), -1);   // the minimum rounded up into the format
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(clamp(11), 10);   // the maximum rounded down
    EXPECT_TRUE(overflowed);
    EXPECT_EQ(clamp(7), 7);
    EXPECT_FALSE(overflowed);
    EXPECT_EQ(clamp(10.4), 10);
    EXPECT_FALSE(overflowed);
}

TEST_F(FxpAssertions, ReportUnexpectedRoundingOverflowAndModes) {
    EXPECT_EQ(to(2.5, 8, 8, false, 2, 0).bits, 2u);
    EXPECT_EQ(to(3.0, 8, 8, false, 2, 0).bits, 3u);
    EXPECT_EQ(to(300, 8, 8, false, 0, 2).bits, 255u);
    EXPECT_EQ(to(2.5, 8, 8, false, 2, 9).bits, 3u);
    bool overflowed = true;
    const FXP unreduced = to(300, 8, 8, false, 7, 2, &overflowed);
    EXPECT_EQ(unreduced.bits, 300u);
    EXPECT_FALSE(overflowed);
    FXP(256, 8, 8, false).isInRange();
    EXPECT_EQ(assertions, (std::vector<std::string>{
                              "Quantization possible though caller didn't think so.",
                              "Overflow possible though caller didn't think so.",
                              "Unexpected Quantization Mode", "Unexpected Overflow Mode",
                              "Value out of range"}));
}

}  // namespace
