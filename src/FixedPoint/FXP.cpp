#include "FixedPoint/FXP.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "qverr/Exception.h"

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

constexpr const char* kComponent = "internal_sdi_hal23u";

std::atomic<FXP::AssertionHook> assertionHook{nullptr};

void check(bool condition, int line, const char* expression, const char* message) {
    if (condition) return;
    if (auto hook = assertionHook.load(std::memory_order_relaxed)) {
        hook(__FILE__, line, expression, message);
    }
}
#define FXP_CHECK(condition, message) check((condition), __LINE__, #condition, (message))

// Shifts by the word length are only defined for 1 to 64 bits.
void requireWordLength(int32_t wordLength) {
    if (wordLength < 1 || wordLength > FXP::kMaxWordLength) {
        QVERR_THROW(kComponent, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly");
    }
}

// The value of the low `wordLength` bits, sign-extended when signed.
Int128 wordValue(uint64_t bits, int32_t wordLength, bool isSigned) {
    if (wordLength < 64) {
        const uint64_t mask = (uint64_t{1} << wordLength) - 1;
        bits &= mask;
        if (isSigned && (bits >> (wordLength - 1)) != 0) bits |= ~mask;
    }
    return isSigned ? Int128(static_cast<int64_t>(bits)) : Int128(bits);
}

Int128 rangeLow(int32_t wordLength, bool isSigned) {
    return isSigned ? -(Int128(1) << (wordLength - 1)) : 0;
}

Int128 rangeHigh(int32_t wordLength, bool isSigned) {
    return (Int128(1) << (isSigned ? wordLength - 1 : wordLength)) - 1;
}

// Exponent of the least significant bit, kept in 64 bits.
int64_t lsbExponent(int32_t wordLength, int32_t integerWordLength) {
    return int64_t{integerWordLength} - wordLength;
}

int bitLength(uint64_t word) {
    return word == 0 ? 0 : 64 - __builtin_clzll(word);
}

// v / 2^shift rounded by the mode (shift >= 1); `inexact` tells whether
// bits were dropped.
Int128 quantize(Int128 v, int64_t shift, int32_t mode, bool& inexact) {
    if (shift >= 127) {
        // |v| < 2^64: the quotient lies strictly between -1 and 1 and is
        // below one half in magnitude.
        inexact = v != 0;
        switch (mode) {
            case FXP::kQuantizationFloor:
            case FXP::kQuantizationTruncate:
                return v < 0 ? -1 : 0;
            case FXP::kQuantizationCeiling:
                return v > 0 ? 1 : 0;
            default:
                return 0;
        }
    }
    const Int128 floor = v >> shift;
    const UInt128 remainder = UInt128(v) & ((UInt128(1) << shift) - 1);
    const UInt128 half = UInt128(1) << (shift - 1);
    inexact = remainder != 0;
    switch (mode) {
        case FXP::kQuantizationFloor:
        case FXP::kQuantizationTruncate:
            return floor;
        case FXP::kQuantizationCeiling:
            return floor + (remainder != 0);
        case FXP::kQuantizationTowardZero:
            return v < 0 ? floor + (remainder != 0) : floor;
        case FXP::kQuantizationExact:
        case FXP::kQuantizationHalfEven:
            return floor + (remainder > half || (remainder == half && (floor & 1) != 0));
        default:
            return floor + (remainder >= half);
    }
}

}  // namespace

void FXP::setAssertionHook(AssertionHook hook) {
    assertionHook.store(hook, std::memory_order_relaxed);
}

FXP::FXP(uint64_t bits, int32_t wordLength, int32_t integerWordLength, bool isSigned)
    : wordLength(wordLength), integerWordLength(integerWordLength), isSigned(isSigned), bits(bits) {
    FXP_CHECK(wordLength >= 1, "Wordlenth out of range");
    requireWordLength(wordLength);
}

FXP::FXP(double value) {
    uint64_t raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    const bool negative = (raw >> 63) != 0;
    const int exponentField = static_cast<int>((raw >> 52) & 0x7FF);
    uint64_t mantissa = raw & ((uint64_t{1} << 52) - 1);
    if (exponentField == 0x7FF) {
        if (mantissa != 0) {
            *this = FXP(0, 1, 1, false);
        } else if (negative) {
            *this = FXP(uint64_t{1} << 63, 64, 32767, true);
        } else {
            *this = FXP(~uint64_t{0}, 64, 32767, false);
        }
        return;
    }
    if (exponentField == 0 && mantissa == 0) {
        *this = FXP(0, 1, 1, true);
        return;
    }
    // value = mantissa x 2^exponent with an odd mantissa.
    int exponent = exponentField == 0 ? -1074 : exponentField - 1075;
    if (exponentField != 0) mantissa |= uint64_t{1} << 52;
    const int zeros = countTrailingZeros(mantissa);
    mantissa >>= zeros;
    exponent += zeros;
    wordLength = bitLength(mantissa);
    integerWordLength = wordLength + exponent;
    isSigned = false;
    bits = mantissa;
    if (negative) {
        isSigned = true;
        // A negative power of two needs no extra bit for its sign.
        if (mantissa != 1) {
            ++wordLength;
            ++integerWordLength;
        }
        bits = uint64_t{0} - mantissa;
    }
}

double FXP::toDouble() const {
    requireWordLength(wordLength);
    const Int128 v = wordValue(bits, wordLength, isSigned);
    const double significand = isSigned ? static_cast<double>(static_cast<int64_t>(v))
                                        : static_cast<double>(static_cast<uint64_t>(v));
    int64_t scale = lsbExponent(wordLength, integerWordLength);
    // Beyond these the result is 0 or infinite anyway; ldexp takes an int.
    if (scale < -4000) scale = -4000;
    if (scale > 4000) scale = 4000;
    return std::ldexp(significand, static_cast<int>(scale));
}

bool FXP::isInRange() const {
    const bool lengthOk = wordLength >= 1 && wordLength <= kMaxWordLength;
    FXP_CHECK(lengthOk, "Wordlength out of range");
    if (!lengthOk) return false;
    const Int128 raw = isSigned ? Int128(static_cast<int64_t>(bits)) : Int128(bits);
    const bool valueOk =
        raw >= rangeLow(wordLength, isSigned) && raw <= rangeHigh(wordLength, isSigned);
    FXP_CHECK(valueOk, "Value out of range");
    return valueOk;
}

int FXP::bit(int64_t weight) const {
    requireWordLength(wordLength);
    const int64_t position = weight - lsbExponent(wordLength, integerWordLength);
    if (position < 0) return 0;
    const Int128 v = wordValue(bits, wordLength, isSigned);
    return static_cast<int>((v >> (position > 127 ? 127 : position)) & 1);
}

int FXP::compare(const FXP& other) const {
    requireWordLength(wordLength);
    requireWordLength(other.wordLength);
    Int128 a = wordValue(bits, wordLength, isSigned);
    Int128 b = wordValue(other.bits, other.wordLength, other.isSigned);
    const int signA = (a > 0) - (a < 0);
    const int signB = (b > 0) - (b < 0);
    if (signA != signB) return signA < signB ? -1 : 1;
    if (signA == 0) return 0;
    // Same sign: compare magnitudes with the binary points aligned.
    const Int128 magnitudeA = signA < 0 ? -a : a;
    const Int128 magnitudeB = signB < 0 ? -b : b;
    const int64_t shift = lsbExponent(wordLength, integerWordLength) -
                          lsbExponent(other.wordLength, other.integerWordLength);
    int magnitudeOrder = 0;
    // Magnitudes are below 2^64: a shift of 64 or more decides alone.
    if (shift >= 64) {
        magnitudeOrder = 1;
    } else if (shift <= -64) {
        magnitudeOrder = -1;
    } else {
        const Int128 x = shift > 0 ? magnitudeA * (Int128(1) << shift) : magnitudeA;
        const Int128 y = shift < 0 ? magnitudeB * (Int128(1) << -shift) : magnitudeB;
        magnitudeOrder = (x > y) - (x < y);
    }
    return signA > 0 ? magnitudeOrder : -magnitudeOrder;
}

FXP FXP::minimum(int32_t wordLength, int32_t integerWordLength, bool isSigned) {
    requireWordLength(wordLength);
    return FXP(static_cast<uint64_t>(rangeLow(wordLength, isSigned)), wordLength, integerWordLength,
               isSigned);
}

FXP FXP::maximum(int32_t wordLength, int32_t integerWordLength, bool isSigned) {
    requireWordLength(wordLength);
    return FXP(static_cast<uint64_t>(rangeHigh(wordLength, isSigned)), wordLength,
               integerWordLength, isSigned);
}

FXP FXP::leastSignificantBit(int32_t wordLength, int32_t integerWordLength, bool) {
    requireWordLength(wordLength);
    // As a one-bit unsigned value: a signed one-bit format cannot hold +1.
    const int64_t exponent = lsbExponent(wordLength, integerWordLength) + 1;
    return FXP(1, 1, static_cast<int32_t>(exponent), false);
}

int FXP::countTrailingZeros(uint64_t word) {
    return word == 0 ? 64 : __builtin_ctzll(word);
}

FXP FXP::convert(const FXP& source, int32_t wordLength, int32_t integerWordLength, bool isSigned,
                 int32_t overflowMode, int32_t quantizationMode, const FXP* minimum,
                 const FXP* maximum, bool* overflowed) {
    requireWordLength(source.wordLength);
    requireWordLength(wordLength);
    if (overflowed) *overflowed = false;
    FXP_CHECK(quantizationMode >= kQuantizationExact && quantizationMode <= kQuantizationCeiling,
              "Unexpected Quantization Mode");

    const Int128 v = wordValue(source.bits, source.wordLength, source.isSigned);
    const int64_t shift = lsbExponent(wordLength, integerWordLength) -
                          lsbExponent(source.wordLength, source.integerWordLength);
    // The value in units of the target's least significant bit; `huge` marks
    // one of 2^64 units or more, beyond every range.
    Int128 q = 0;
    bool huge = false;
    if (shift > 0) {
        bool inexact = false;
        q = quantize(v, shift, quantizationMode, inexact);
        FXP_CHECK(!(inexact && quantizationMode == kQuantizationExact),
                  "Quantization possible though caller didn't think so.");
    } else if (v != 0) {
        if (-shift >= 64) {
            huge = true;
        } else {
            q = v * (Int128(1) << -shift);
        }
    }

    Int128 low = rangeLow(wordLength, isSigned);
    Int128 high = rangeHigh(wordLength, isSigned);
    if (minimum) {
        low = wordValue(convert(*minimum, wordLength, integerWordLength, isSigned,
                                kOverflowSaturate, kQuantizationCeiling)
                            .bits,
                        wordLength, isSigned);
    }
    if (maximum) {
        high = wordValue(convert(*maximum, wordLength, integerWordLength, isSigned,
                                 kOverflowSaturate, kQuantizationFloor)
                             .bits,
                         wordLength, isSigned);
    }

    FXP result;
    result.wordLength = wordLength;
    result.integerWordLength = integerWordLength;
    result.isSigned = isSigned;
    const bool below = huge ? v < 0 : q < low;
    const bool above = huge ? v > 0 : q > high;

    switch (overflowMode) {
        case kOverflowWrap: {
            // The low word of q, sign-extended for a signed target.
            const Int128 wrapped =
                huge ? 0 : wordValue(static_cast<uint64_t>(q), wordLength, isSigned);
            result.bits = static_cast<uint64_t>(wrapped);
            if (overflowed) *overflowed = huge || wrapped != q;
            return result;
        }
        case kOverflowNotExpected:
        case kOverflowSaturate:
            FXP_CHECK(overflowMode != kOverflowNotExpected || !(below || above),
                      "Overflow possible though caller didn't think so.");
            if (below) {
                q = low;
            } else if (above) {
                q = high;
            }
            result.bits = static_cast<uint64_t>(q);
            if (overflowed) *overflowed = below || above;
            return result;
        default:
            FXP_CHECK(false, "Unexpected Overflow Mode");
            result.bits = static_cast<uint64_t>(q);
            return result;
    }
}
