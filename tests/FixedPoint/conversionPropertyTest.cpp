// A million random (value, format, mode) triples converted and checked
// against a reference on exact 128-bit integers that uses division and
// remainder where the library shifts and masks.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "FixedPoint/FXP.h"
#include "FixedPoint/FixedPoint.h"

namespace {

using I128 = __int128;

I128 pow2(int64_t n) {
    return I128(1) << n;
}
I128 mod(I128 a, I128 m) {
    return (a % m + m) % m;
}

// value = units x 2^lsb
struct Exact {
    I128 units;
    int64_t lsb;
};

Exact exactOf(const FXP& f) {
    I128 units = mod(I128(f.bits), pow2(f.wordLength));
    if (f.isSigned && units >= pow2(f.wordLength - 1)) units -= pow2(f.wordLength);
    return {units, int64_t{f.integerWordLength} - f.wordLength};
}

Exact exactOf(double x) {
    if (x == 0) return {0, 0};
    int exponent = 0;
    const double m = std::frexp(x, &exponent);
    return {I128(static_cast<int64_t>(std::ldexp(m, 53))), int64_t{exponent} - 53};
}

// units / 2^shift rounded by the mode.
I128 quantize(I128 units, int64_t shift, int mode) {
    if (shift > 120) {  // |units| < 2^65: the quotient lies inside (-1/2, 1/2)
        if (mode == 1 || mode == 5) return units < 0 ? -1 : 0;
        return mode == 6 && units > 0 ? 1 : 0;
    }
    const I128 denominator = pow2(shift);
    const I128 floor = units / denominator - (units % denominator < 0 ? 1 : 0);
    const I128 twice = 2 * (units - floor * denominator);
    const bool exact = twice == 0;
    switch (mode) {
        case 1:
        case 5:
            return floor;
        case 6:
            return floor + !exact;
        case 4:
            return floor + (units < 0 && !exact);
        case 0:
        case 3:
            return floor + (twice > denominator || (twice == denominator && mod(floor, 2)));
        default:
            return floor + (twice >= denominator);
    }
}

struct Result {
    uint64_t bits;
    bool overflowed;
    bool operator==(const Result&) const = default;
};

Result reference(const Exact& x, int32_t wordLength, int32_t integerWordLength, bool isSigned,
                 int overflowMode, int quantizationMode) {
    const int64_t shift = int64_t{integerWordLength} - wordLength - x.lsb;
    I128 q = 0;
    bool huge = false;  // 2^64 units or more: beyond every range
    if (shift > 0) {
        q = quantize(x.units, shift, quantizationMode);
    } else if (x.units != 0) {
        huge = -shift >= 64;  // |units| < 2^64, so the product below fits
        if (!huge) q = x.units * pow2(-shift);
    }
    const I128 low = isSigned ? -pow2(wordLength - 1) : 0;
    const I128 high = pow2(isSigned ? wordLength - 1 : wordLength) - 1;
    if (overflowMode == 1) {
        I128 wrapped = huge ? 0 : mod(q, pow2(wordLength));
        if (wrapped > high) wrapped -= pow2(wordLength);
        return {static_cast<uint64_t>(wrapped), huge || wrapped != q};
    }
    const bool below = huge ? x.units < 0 : q < low;
    const bool above = huge ? x.units > 0 : q > high;
    return {static_cast<uint64_t>(below ? low : above ? high : q), below || above};
}

TEST(FixedPointConversion, MatchesTheIntegerReferenceOnRandomTriples) {
    std::mt19937_64 random(20240611);
    auto between = [&](int64_t a, int64_t b) {
        return std::uniform_int_distribution<int64_t>(a, b)(random);
    };
    for (int i = 0; i < 1000000; ++i) {
        const bool fromDouble = random() & 1;
        double number = 0;
        FXP source;
        if (fromDouble) {
            const int kind = static_cast<int>(between(0, 9));
            const double significand = static_cast<double>(random() >> between(11, 63)) + 1;
            number = kind == 0   ? 0.0
                     : kind == 1 ? std::ldexp(1.0, static_cast<int>(between(-1074, -1020)))
                                 : std::ldexp(significand, static_cast<int>(between(-90, 40)));
            if (random() & 1) number = -number;
            source = FXP(number);
        } else {
            source = FXP(random(), static_cast<int32_t>(between(1, 64)),
                         static_cast<int32_t>(between(-100, 100)), random() & 1);
        }
        const Exact exact = fromDouble ? exactOf(number) : exactOf(source);
        const auto wordLength = static_cast<int32_t>(between(1, 64));
        const auto integerWordLength =
            static_cast<int32_t>(wordLength + exact.lsb + between(-70, 140));
        const bool isSigned = random() & 1;
        const int overflowMode = static_cast<int>(between(0, 2));
        const int quantizationMode = static_cast<int>(between(0, 6));

        Result got{};
        got.bits = FXP::convert(source, wordLength, integerWordLength, isSigned, overflowMode,
                                quantizationMode, nullptr, nullptr, &got.overflowed)
                       .bits;
        const Result expected = reference(exact, wordLength, integerWordLength, isSigned,
                                          overflowMode, quantizationMode);
        ASSERT_EQ(got, expected) << "case " << i << ": " << static_cast<double>(exact.units)
                                 << " x 2^" << exact.lsb << " to {" << wordLength << ", "
                                 << integerWordLength << ", " << isSigned << "} overflow "
                                 << overflowMode << " quantization " << quantizationMode;

        // The register conversions saturate as the reference does.
        if (fromDouble && integerWordLength >= INT16_MIN && integerWordLength <= INT16_MAX) {
            const sdihal::tFixedPointFormat format{isSigned, static_cast<uint8_t>(wordLength),
                                                   static_cast<int16_t>(integerWordLength)};
            sdihal::tFixedPointValue value;
            double coerced = 0;
            sdihal::coerceDoubleToFixedPoint(format, value, coerced,
                                             static_cast<uint32_t>(quantizationMode), number);
            const auto saturated =
                reference(exact, wordLength, integerWordLength, isSigned, 2, quantizationMode);
            ASSERT_EQ(value.bits, saturated.bits) << "case " << i;
            const double units = isSigned ? static_cast<double>(static_cast<int64_t>(value.bits))
                                          : static_cast<double>(value.bits);
            ASSERT_EQ(coerced, std::ldexp(units, integerWordLength - wordLength)) << "case " << i;
            sdihal::doubleToFixedPoint(format, value, number);
            ASSERT_EQ(value.bits,
                      reference(exact, wordLength, integerWordLength, isSigned, 2, 2).bits)
                << "case " << i;
        }
    }
}

}  // namespace
