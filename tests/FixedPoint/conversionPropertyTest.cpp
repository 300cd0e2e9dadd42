// Conversions of a million random (value, format, mode) triples checked
// against a reference that works on exact 128-bit integers with ordinary
// division and remainder instead of shifts and masks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

#include "FixedPoint/FXP.h"
#include "FixedPoint/FixedPoint.h"

namespace {

using I128 = __int128;

I128 pow2(int64_t n) { return I128(1) << n; }

// Mathematical modulo: the result lies in [0, m).
I128 mod(I128 a, I128 m) {
    I128 r = a % m;
    return r < 0 ? r + m : r;
}

int bitLength(I128 v) {
    if (v < 0) v = -v;
    int n = 0;
    while (v != 0) {
        v /= 2;
        ++n;
    }
    return n;
}

// An exact value: units x 2^lsb.
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
    if (std::isnan(x) || x == 0) return {0, 0};
    int exponent = 0;
    const double m = std::frexp(x, &exponent);
    return {I128(static_cast<int64_t>(std::ldexp(m, 53))), int64_t{exponent} - 53};
}

struct Expected {
    uint64_t bits;
    bool overflowed;
};

// units / 2^shift rounded by the mode.
I128 quantize(I128 units, int64_t shift, int mode) {
    if (shift > 120) {
        // |units| < 2^65: the quotient lies strictly inside (-1/2, 1/2).
        if (units == 0) return 0;
        if (mode == 1 || mode == 5) return units < 0 ? -1 : 0;
        if (mode == 6) return units > 0 ? 1 : 0;
        return 0;
    }
    const I128 denominator = pow2(shift);
    I128 floor = units / denominator;
    if (units % denominator < 0) floor -= 1;
    const I128 fraction = units - floor * denominator;   // in [0, denominator)
    const I128 twice = 2 * fraction;
    switch (mode) {
        case 1:
        case 5:
            return floor;
        case 6:
            return floor + (fraction > 0);
        case 4:
            return units < 0 ? floor + (fraction > 0) : floor;
        case 0:
        case 3:
            return floor + (twice > denominator || (twice == denominator && mod(floor, 2) == 1));
        default:
            return floor + (twice >= denominator);
    }
}

Expected reference(const Exact& source, int32_t wordLength, int32_t integerWordLength,
                   bool isSigned, int overflowMode, int quantizationMode) {
    const int64_t shift = (int64_t{integerWordLength} - wordLength) - source.lsb;
    I128 q = 0;
    bool huge = false;   // far beyond every 64-bit range
    int64_t up = 0;      // q = units x 2^up when huge
    if (shift > 0) {
        q = quantize(source.units, shift, quantizationMode);
    } else if (source.units != 0) {
        up = -shift;
        if (bitLength(source.units) + up > 100) {
            huge = true;
        } else {
            q = source.units * pow2(up);
        }
    }
    const I128 low = isSigned ? -pow2(wordLength - 1) : 0;
    const I128 high = isSigned ? pow2(wordLength - 1) - 1 : pow2(wordLength) - 1;
    I128 result = 0;
    bool overflowed = false;
    if (overflowMode == 1) {
        I128 wrapped = 0;
        if (!huge) {
            wrapped = mod(q, pow2(wordLength));
        } else if (up < wordLength) {
            wrapped = mod(source.units, pow2(wordLength - up)) * pow2(up);
        }
        if (isSigned && wrapped > high) wrapped -= pow2(wordLength);
        result = wrapped;
        overflowed = huge || wrapped != q;
    } else {
        const bool below = huge ? source.units < 0 : q < low;
        const bool above = huge ? source.units > 0 : q > high;
        result = below ? low : above ? high : q;
        overflowed = below || above;
    }
    return {static_cast<uint64_t>(result), overflowed};
}

std::string describe(const Exact& e) {
    std::ostringstream text;
    text << static_cast<long double>(e.units) << " x 2^" << e.lsb;
    return text.str();
}

class Generator {
public:
    explicit Generator(uint64_t seed) : random_(seed) {}

    int64_t between(int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(random_);
    }
    uint64_t word() { return random_(); }
    bool coin() { return (random_() & 1) != 0; }

    double number() {
        switch (between(0, 15)) {
            case 0:
                return 0.0;
            case 1:
                return std::ldexp(1.0, static_cast<int>(between(-1074, -1020)));
            case 2:
                return (coin() ? 1 : -1) * std::ldexp(static_cast<double>(between(1, 1000)), -1);
            default: {
                // Random significand bits at a moderate binary exponent.
                const double significand =
                    static_cast<double>(word() >> between(11, 63)) + 1.0;
                return (coin() ? 1 : -1) *
                       std::ldexp(significand, static_cast<int>(between(-90, 40)));
            }
        }
    }

private:
    std::mt19937_64 random_;
};

TEST(FixedPointConversion, MatchesTheIntegerReferenceOnRandomTriples) {
    constexpr int kCount = 1000000;
    Generator random(0x5EED1234ABCDull);
    for (int i = 0; i < kCount; ++i) {
        FXP source;
        bool fromDouble = random.coin();
        double number = 0;
        if (fromDouble) {
            number = random.number();
            source = FXP(number);
        } else {
            source = FXP(random.word(), static_cast<int32_t>(random.between(1, 64)),
                         static_cast<int32_t>(random.between(-100, 100)), random.coin());
        }
        const Exact exact = fromDouble ? exactOf(number) : exactOf(source);

        const auto wordLength = static_cast<int32_t>(random.between(1, 64));
        const int64_t shift = random.between(-70, 140);
        const auto integerWordLength = static_cast<int32_t>(wordLength + exact.lsb + shift);
        const bool isSigned = random.coin();
        const int overflowMode = static_cast<int>(random.between(0, 2));
        const int quantizationMode = static_cast<int>(random.between(0, 6));

        bool overflowed = false;
        const FXP result = FXP::convert(source, wordLength, integerWordLength, isSigned,
                                        overflowMode, quantizationMode, nullptr, nullptr,
                                        &overflowed);
        const Expected expected = reference(exact, wordLength, integerWordLength, isSigned,
                                            overflowMode, quantizationMode);
        ASSERT_TRUE(result.bits == expected.bits && overflowed == expected.overflowed &&
                    result.wordLength == wordLength &&
                    result.integerWordLength == integerWordLength && result.isSigned == isSigned)
            << "case " << i << ": " << describe(exact) << " to {" << wordLength << ", "
            << integerWordLength << ", " << isSigned << "} overflow " << overflowMode
            << " quantization " << quantizationMode << ": got " << result.bits << "/"
            << overflowed << ", expected " << expected.bits << "/" << expected.overflowed;

        // The register conversions saturate and round as the reference does.
        if (fromDouble && integerWordLength >= INT16_MIN && integerWordLength <= INT16_MAX) {
            const sdihal::tFixedPointFormat format{isSigned, static_cast<uint8_t>(wordLength),
                                                   static_cast<int16_t>(integerWordLength)};
            sdihal::tFixedPointValue value;
            double coerced = 0;
            sdihal::coerceDoubleToFixedPoint(format, value, coerced,
                                             static_cast<uint32_t>(quantizationMode), number);
            const Expected saturated =
                reference(exact, wordLength, integerWordLength, isSigned, 2, quantizationMode);
            ASSERT_EQ(value.bits, saturated.bits) << "case " << i;
            const double significand =
                isSigned ? static_cast<double>(static_cast<int64_t>(saturated.bits))
                         : static_cast<double>(saturated.bits);
            ASSERT_EQ(coerced, std::ldexp(significand, integerWordLength - wordLength))
                << "case " << i;
            sdihal::doubleToFixedPoint(format, value, number);
            ASSERT_EQ(value.bits, reference(exact, wordLength, integerWordLength, isSigned, 2, 2).bits)
                << "case " << i;
        }
    }
}

}  // namespace
