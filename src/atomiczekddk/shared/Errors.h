// The status codes of the FPGA driver layer, in one place: the library
// raises them, the simulated driver returns some of them, and tests compare
// against these names. Platform codes (-52xxx) are qverr's.
#pragma once

#include <cstdint>

namespace qvzek {

inline constexpr int32_t kErrorFifoTimedOut = -50400;
inline constexpr int32_t kErrorFifoStopped = -50405;

inline constexpr int32_t kErrorTargetClass = -61024;
// Control register bit 4; also a register block access that leaves it set.
inline constexpr int32_t kErrorFpgaStatusFault = -61046;
inline constexpr int32_t kErrorBitfileContent = -61070;
inline constexpr int32_t kErrorFifoDepthInvalid = -61072;
inline constexpr int32_t kErrorFifoCountTooLarge = -61073;
inline constexpr int32_t kErrorControlBit6 = -61083;
inline constexpr int32_t kErrorResetImplicitEnable = -61211;
inline constexpr int32_t kErrorAbortImplicitEnable = -61212;
inline constexpr int32_t kErrorResetOnCloseAutoRun = -61213;
inline constexpr int32_t kErrorFpgaNotRunning = -61214;
inline constexpr int32_t kErrorRunImplicitEnable = -61215;
inline constexpr int32_t kErrorControlBit7 = -61216;
inline constexpr int32_t kErrorFifoAcquireBeyondDepth = -61219;
inline constexpr int32_t kErrorResetOnCloseUnsupported = -61253;
inline constexpr int32_t kErrorRunEnableRemoval = -61254;
inline constexpr int32_t kErrorBusy = -61499;

// The control register reads all ones.
inline constexpr int32_t kErrorDeviceUnreachable = -63036;
inline constexpr int32_t kErrorTraditionalMode = -63032;
inline constexpr int32_t kErrorNoBitfilePath = -63038;
inline constexpr int32_t kErrorSessionRestricted = -63045;
inline constexpr int32_t kErrorBufferTooSmall = -63080;
inline constexpr int32_t kErrorFifoNoBufferAddress = -63081;
inline constexpr int32_t kErrorAlreadyMapped = -63082;
inline constexpr int32_t kErrorFifoElementsAcquired = -63083;
inline constexpr int32_t kErrorBadRegisterAddress = -63084;
inline constexpr int32_t kErrorFifoStarted = -63086;
inline constexpr int32_t kErrorPropertyWrongType = -63087;
inline constexpr int32_t kErrorFifoRegionsFull = -63088;
inline constexpr int32_t kErrorNoMapping = -63100;
inline constexpr int32_t kErrorBitfileUnreadable = -63101;
inline constexpr int32_t kErrorSignatureMismatch = -63106;
// A bitfile version, encoding or element size this reader does not support.
inline constexpr int32_t kErrorBitfileUnsupported = -63107;
inline constexpr int32_t kErrorInvalidState = -63150;
// The two answers of a driver that has no flash value to report.
inline constexpr int32_t kErrorFlashInfoAbsent = -63170;
inline constexpr int32_t kErrorFlashInfoUnavailable = -63171;
inline constexpr int32_t kErrorInvalidAlias = -63180;
// An operation this object, mode or image does not offer.
inline constexpr int32_t kErrorNotSupported = -63193;
// An attribute or property id that nothing serves.
inline constexpr int32_t kErrorAttributeNotServed = -63196;
inline constexpr int32_t kErrorInvalidAttributeValue = -63197;
inline constexpr int32_t kErrorCountSaturated = -63198;

inline constexpr int32_t kErrorP2PLibraryMissing = -308001;

// Who holds an FPGA, as the status code reported to the user.
inline constexpr int32_t kOwnerOther = -61141;
inline constexpr int32_t kOwnerCApi = -61200;
inline constexpr int32_t kOwnerChassisMode = -61201;
inline constexpr int32_t kOwnerFpgaInterface = -61202;
inline constexpr int32_t kOwnerInteractive = -61203;
inline constexpr int32_t kOwnerEmulation = -61204;
inline constexpr int32_t kOwnerConfiguration = -61252;
inline constexpr int32_t kOwnerCApiGenericError = -63199;

}  // namespace qvzek
