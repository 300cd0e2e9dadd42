// The FPGA driver layer's codes, typed in from their definition: a wrong
// constant fails here instead of agreeing with itself in every other test.
#include <gtest/gtest.h>

#include "atomiczekddk/shared/Errors.h"
#include "support/NamedCodes.h"

namespace {

TEST(DriverLayerCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace qvzek;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kErrorFifoTimedOut, -50400),
        QV_NAMED_CODE(kErrorFifoStopped, -50405),
        QV_NAMED_CODE(kErrorTargetClass, -61024),
        QV_NAMED_CODE(kErrorFpgaStatusFault, -61046),
        QV_NAMED_CODE(kErrorBitfileContent, -61070),
        QV_NAMED_CODE(kErrorFifoDepthInvalid, -61072),
        QV_NAMED_CODE(kErrorFifoCountTooLarge, -61073),
        QV_NAMED_CODE(kErrorControlBit6, -61083),
        QV_NAMED_CODE(kErrorResetImplicitEnable, -61211),
        QV_NAMED_CODE(kErrorAbortImplicitEnable, -61212),
        QV_NAMED_CODE(kErrorResetOnCloseAutoRun, -61213),
        QV_NAMED_CODE(kErrorFpgaNotRunning, -61214),
        QV_NAMED_CODE(kErrorRunImplicitEnable, -61215),
        QV_NAMED_CODE(kErrorControlBit7, -61216),
        QV_NAMED_CODE(kErrorFifoAcquireBeyondDepth, -61219),
        QV_NAMED_CODE(kErrorResetOnCloseUnsupported, -61253),
        QV_NAMED_CODE(kErrorRunEnableRemoval, -61254),
        QV_NAMED_CODE(kErrorBusy, -61499),
        QV_NAMED_CODE(kErrorDeviceUnreachable, -63036),
        QV_NAMED_CODE(kErrorTraditionalMode, -63032),
        QV_NAMED_CODE(kErrorNoBitfilePath, -63038),
        QV_NAMED_CODE(kErrorSessionRestricted, -63045),
        QV_NAMED_CODE(kErrorBufferTooSmall, -63080),
        QV_NAMED_CODE(kErrorFifoNoBufferAddress, -63081),
        QV_NAMED_CODE(kErrorAlreadyMapped, -63082),
        QV_NAMED_CODE(kErrorFifoElementsAcquired, -63083),
        QV_NAMED_CODE(kErrorBadRegisterAddress, -63084),
        QV_NAMED_CODE(kErrorFifoStarted, -63086),
        QV_NAMED_CODE(kErrorPropertyWrongType, -63087),
        QV_NAMED_CODE(kErrorFifoRegionsFull, -63088),
        QV_NAMED_CODE(kErrorNoMapping, -63100),
        QV_NAMED_CODE(kErrorBitfileUnreadable, -63101),
        QV_NAMED_CODE(kErrorSignatureMismatch, -63106),
        QV_NAMED_CODE(kErrorBitfileUnsupported, -63107),
        QV_NAMED_CODE(kErrorInvalidState, -63150),
        QV_NAMED_CODE(kErrorFlashInfoAbsent, -63170),
        QV_NAMED_CODE(kErrorFlashInfoUnavailable, -63171),
        QV_NAMED_CODE(kErrorInvalidAlias, -63180),
        QV_NAMED_CODE(kErrorNotSupported, -63193),
        QV_NAMED_CODE(kErrorAttributeNotServed, -63196),
        QV_NAMED_CODE(kErrorInvalidAttributeValue, -63197),
        QV_NAMED_CODE(kErrorCountSaturated, -63198),
        QV_NAMED_CODE(kErrorP2PLibraryMissing, -308001),
        QV_NAMED_CODE(kOwnerOther, -61141),
        QV_NAMED_CODE(kOwnerCApi, -61200),
        QV_NAMED_CODE(kOwnerChassisMode, -61201),
        QV_NAMED_CODE(kOwnerFpgaInterface, -61202),
        QV_NAMED_CODE(kOwnerInteractive, -61203),
        QV_NAMED_CODE(kOwnerEmulation, -61204),
        QV_NAMED_CODE(kOwnerConfiguration, -61252),
        QV_NAMED_CODE(kOwnerCApiGenericError, -63199),
    });
}

}  // namespace
