// Exact fixed-point values of up to 64 bits, as FPGA registers hold them,
// and their conversion between formats under a rounding and an overflow
// mode. A value is bits x 2^(integerWordLength - wordLength); the bits are
// read as two's complement when isSigned.
#pragma once

#include <cstdint>

struct FXP {
    static constexpr int32_t kMaxWordLength = 64;

    // How dropped fractional bits are rounded.
    enum Quantization : int32_t {
        kQuantizationExact = 0,     // none expected; rounds half to even
        kQuantizationFloor = 1,     // toward minus infinity
        kQuantizationHalfUp = 2,    // nearest, ties toward plus infinity
        kQuantizationHalfEven = 3,  // nearest, ties to even
        kQuantizationTowardZero = 4,
        kQuantizationTruncate = 5,  // as floor
        kQuantizationCeiling = 6,   // toward plus infinity
    };

    // What happens to a value outside the target range.
    enum Overflow : int32_t {
        kOverflowNotExpected = 0,  // saturates
        kOverflowWrap = 1,         // drops the bits above the word
        kOverflowSaturate = 2,     // clamps to the range
    };

    int32_t wordLength = 1;
    int32_t integerWordLength = 1;
    bool isSigned = false;
    uint64_t bits = 0;

    FXP() = default;
    // Throws qverr::Exception -52003 for a word length outside 1..64.
    FXP(uint64_t bits, int32_t wordLength, int32_t integerWordLength, bool isSigned);
    // The exact value of a double (NaN becomes 0, the infinities the widest
    // values of a 64-bit word with integer word length 32767).
    explicit FXP(double value);

    double toDouble() const;
    // Whether the bits lie within the range of the format.
    bool isInRange() const;
    // The bit of weight 2^weight: 0 below the word, the sign above it.
    int bit(int64_t weight) const;
    // -1, 0 or 1, comparing the exact values of any two formats.
    int compare(const FXP& other) const;

    static FXP minimum(int32_t wordLength, int32_t integerWordLength, bool isSigned);
    static FXP maximum(int32_t wordLength, int32_t integerWordLength, bool isSigned);
    static FXP leastSignificantBit(int32_t wordLength, int32_t integerWordLength, bool isSigned);
    static int countTrailingZeros(uint64_t word);

    // `source` in the target format. Saturation clamps to the format's range,
    // or to `minimum` / `maximum` when given (converted with ceiling / floor).
    // `overflowed` tells whether the value did not fit.
    static FXP convert(const FXP& source, int32_t wordLength, int32_t integerWordLength,
                       bool isSigned, int32_t overflowMode, int32_t quantizationMode,
                       const FXP* minimum = nullptr, const FXP* maximum = nullptr,
                       bool* overflowed = nullptr);

    // Called by the consistency checks of this type (an unexpected rounding
    // or overflow, an unknown mode, bits outside the format); none by
    // default, and the checks then have no effect.
    using AssertionHook = void (*)(const char* file, int line, const char* expression,
                                   const char* message);
    static void setAssertionHook(AssertionHook hook);
};
