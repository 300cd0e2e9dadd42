// Register fixed-point formats and values as the kernel driver exchanges
// them, and their conversion from and to double.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sdihal {

// Sent to the kernel driver as one 32-bit word.
struct tFixedPointFormat {
    bool isSigned = false;
    uint8_t wordLength = 1;
    int16_t integerWordLength = 1;
};

// Sent to the kernel driver as these 16 bytes: the bits (sign-extended for a
// signed format), the format, then 4 zero bytes.
struct tFixedPointValue {
    uint64_t bits = 0;
    tFixedPointFormat format;
    uint8_t padding[4] = {};
};

static_assert(sizeof(tFixedPointFormat) == 4);
static_assert(offsetof(tFixedPointFormat, wordLength) == 1);
static_assert(offsetof(tFixedPointFormat, integerWordLength) == 2);
static_assert(sizeof(tFixedPointValue) == 16);
static_assert(offsetof(tFixedPointValue, format) == 8);

// The double converted exactly into `format`, rounded by `rounding` (the
// quantization modes of FXP; above 6: half up) and saturated at the format's
// range; `coerced` receives the result as a double. A word length outside
// 1..64 throws qverr::Exception -52003.
void coerceDoubleToFixedPoint(const tFixedPointFormat& format, tFixedPointValue& value,
                              double& coerced, uint32_t rounding, double number);
// The same, rounding half up.
void doubleToFixedPoint(const tFixedPointFormat& format, tFixedPointValue& value, double number);
// The number that the bits denote under their own format.
double fixedPointToDouble(const tFixedPointValue& value);

// Compatibility of two version ranges: ours (current, oldest compatible)
// against a peer's; errorCode() is 0 when they are compatible.
class tVersionCheck {
public:
    tVersionCheck(uint32_t current, uint32_t oldestCompatible, uint32_t peerCurrent,
                  uint32_t peerOldestCompatible, int32_t codePeerTooOld, int32_t codeSelfTooOld,
                  int32_t codeOwnRangeInvalid, int32_t codePeerRangeInvalid);

    int32_t errorCode() const { return errorCode_; }

    bool peerTooOld;
    bool selfTooOld;

private:
    int32_t errorCode_ = 0;
};

}  // namespace sdihal
