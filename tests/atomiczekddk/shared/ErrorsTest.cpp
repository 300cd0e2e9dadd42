// The FPGA driver layer's codes, typed in from their definition: a wrong
// constant fails here instead of agreeing with itself in every other test.
#include <gtest/gtest.h>

#include <cstdint>

#include "atomiczekddk/shared/Errors.h"

namespace {

struct NamedCode {
    const char* name;
    int32_t constant;
    int32_t value;
};

#define QV_CODE(name, value) {#name, name, value}

TEST(DriverLayerCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace qvzek;
    const NamedCode codes[] = {
        QV_CODE(kErrorFifoTimedOut, -50400),
        QV_CODE(kErrorFifoStopped, -50405),
        QV_CODE(kErrorTargetClass, -61024),
        QV_CODE(kErrorFpgaStatusFault, -61046),
        QV_CODE(kErrorBitfileContent, -61070),
        QV_CODE(kErrorFifoDepthInvalid, -61072),
        QV_CODE(kErrorFifoCountTooLarge, -61073),
        QV_CODE(kErrorControlBit6, -61083),
        QV_CODE(kErrorResetImplicitEnable, -61211),
        QV_CODE(kErrorAbortImplicitEnable, -61212),
        QV_CODE(kErrorResetOnCloseAutoRun, -61213),
        QV_CODE(kErrorFpgaNotRunning, -61214),
        QV_CODE(kErrorRunImplicitEnable, -61215),
        QV_CODE(kErrorControlBit7, -61216),
        QV_CODE(kErrorFifoAcquireBeyondDepth, -61219),
        QV_CODE(kErrorResetOnCloseUnsupported, -61253),
        QV_CODE(kErrorRunEnableRemoval, -61254),
        QV_CODE(kErrorBusy, -61499),
        QV_CODE(kErrorDeviceUnreachable, -63036),
        QV_CODE(kErrorTraditionalMode, -63032),
        QV_CODE(kErrorNoBitfilePath, -63038),
        QV_CODE(kErrorSessionRestricted, -63045),
        QV_CODE(kErrorBufferTooSmall, -63080),
        QV_CODE(kErrorFifoNoBufferAddress, -63081),
        QV_CODE(kErrorAlreadyMapped, -63082),
        QV_CODE(kErrorFifoElementsAcquired, -63083),
        QV_CODE(kErrorBadRegisterAddress, -63084),
        QV_CODE(kErrorFifoStarted, -63086),
        QV_CODE(kErrorPropertyWrongType, -63087),
        QV_CODE(kErrorFifoRegionsFull, -63088),
        QV_CODE(kErrorNoMapping, -63100),
        QV_CODE(kErrorBitfileUnreadable, -63101),
        QV_CODE(kErrorSignatureMismatch, -63106),
        QV_CODE(kErrorBitfileUnsupported, -63107),
        QV_CODE(kErrorInvalidState, -63150),
        QV_CODE(kErrorFlashInfoAbsent, -63170),
        QV_CODE(kErrorFlashInfoUnavailable, -63171),
        QV_CODE(kErrorInvalidAlias, -63180),
        QV_CODE(kErrorNotSupported, -63193),
        QV_CODE(kErrorAttributeNotServed, -63196),
        QV_CODE(kErrorInvalidAttributeValue, -63197),
        QV_CODE(kErrorCountSaturated, -63198),
        QV_CODE(kErrorP2PLibraryMissing, -308001),
        QV_CODE(kOwnerOther, -61141),
        QV_CODE(kOwnerCApi, -61200),
        QV_CODE(kOwnerChassisMode, -61201),
        QV_CODE(kOwnerFpgaInterface, -61202),
        QV_CODE(kOwnerInteractive, -61203),
        QV_CODE(kOwnerEmulation, -61204),
        QV_CODE(kOwnerConfiguration, -61252),
        QV_CODE(kOwnerCApiGenericError, -63199),
    };
    for (const NamedCode& code : codes) EXPECT_EQ(code.constant, code.value) << code.name;
}

}  // namespace
