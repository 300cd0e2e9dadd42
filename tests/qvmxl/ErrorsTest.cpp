// The translator-range codes' values, typed in from their definition: every
// name the library raises or tests compare against must hold the agreed
// value, so a wrong constant fails here rather than agreeing with itself
// everywhere else.
#include <gtest/gtest.h>

#include "qvmxl/errors.h"
#include "support/NamedCodes.h"

namespace {

TEST(TranslatorRangeCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace qvmxl;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kErrorNULLPtr, -1074098093),
        QV_NAMED_CODE(kErrorEmptyString, -1074098043),
        QV_NAMED_CODE(kErrorInvalidCharInString, -1074098079),
        QV_NAMED_CODE(kErrorLeadingSpaceInString, -1074098080),
        QV_NAMED_CODE(kErrorTrailingSpaceInString, -1074098081),
        QV_NAMED_CODE(kErrorLeadingUnderscoreInString, -1074098082),
        QV_NAMED_CODE(kErrorNameTooLong, -1074097806),
        QV_NAMED_CODE(kErrorSoftwareFault, -1074097800),
        QV_NAMED_CODE(kErrorOutOfRange, -1074097810),
        QV_NAMED_CODE(kErrorReadBufferTooSmall, -1074097936),
        QV_NAMED_CODE(kErrorBufferTooSmallForString, -1074097935),
        QV_NAMED_CODE(kErrorInvalidStorage, -1074098144),
        QV_NAMED_CODE(kErrorStorageAlteredPriorToSave, -1074098143),
        QV_NAMED_CODE(kErrorResourceAlreadyReserved, -1074097852),
        QV_NAMED_CODE(kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning, -1074098122),
        QV_NAMED_CODE(kErrorOperationTimedOut, -1074098044),
        QV_NAMED_CODE(kErrorNULLPtrForC_Api, -1074097937),
        QV_NAMED_CODE(SDISharedErrors::kErrorFpgaResourceNotFound, -1074100464),
        QV_NAMED_CODE(SDISharedErrors::kErrorIncompatibleBitfile, -1074100460),
    });
}

}  // namespace
