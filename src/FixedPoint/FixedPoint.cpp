#include "FixedPoint/FixedPoint.h"

#include "FixedPoint/FXP.h"

namespace sdihal {

namespace {

FXP toFormat(const tFixedPointFormat& format, uint32_t rounding, double number) {
    const int32_t mode = rounding > FXP::kQuantizationCeiling ? FXP::kQuantizationHalfUp
                                                              : static_cast<int32_t>(rounding);
    return FXP::convert(FXP(number), format.wordLength, format.integerWordLength, format.isSigned,
                        FXP::kOverflowSaturate, mode);
}

}  // namespace

void coerceDoubleToFixedPoint(const tFixedPointFormat& format, tFixedPointValue& value,
                              double& coerced, uint32_t rounding, double number) {
    const FXP result = toFormat(format, rounding, number);
    value.bits = result.bits;
    value.format = format;
    coerced = result.toDouble();
}

void doubleToFixedPoint(const tFixedPointFormat& format, tFixedPointValue& value, double number) {
    value.bits = toFormat(format, FXP::kQuantizationHalfUp, number).bits;
    value.format = format;
}

double fixedPointToDouble(const tFixedPointValue& value) {
    return FXP(value.bits, value.format.wordLength, value.format.integerWordLength,
               value.format.isSigned)
        .toDouble();
}

tVersionCheck::tVersionCheck(uint32_t current, uint32_t oldestCompatible, uint32_t peerCurrent,
                             uint32_t peerOldestCompatible, int32_t codePeerTooOld,
                             int32_t codeSelfTooOld, int32_t codeOwnRangeInvalid,
                             int32_t codePeerRangeInvalid)
    : peerTooOld(peerCurrent < oldestCompatible), selfTooOld(current < peerOldestCompatible) {
    // Later findings replace earlier ones; a finding without a code keeps
    // the earlier code.
    auto note = [this](bool found, int32_t code) {
        if (found && code != 0) errorCode_ = code;
    };
    note(peerTooOld, codePeerTooOld);
    note(selfTooOld, codeSelfTooOld);
    note(peerCurrent < peerOldestCompatible, codePeerRangeInvalid);
    note(oldestCompatible > current, codeOwnRangeInvalid);
}

}  // namespace sdihal
