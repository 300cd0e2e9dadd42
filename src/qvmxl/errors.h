// Error codes of this library's translator range that foundation code
// raises (name checks and the like).
#pragma once

#include <cstdint>

namespace qvmxl {

inline constexpr int32_t kErrorNULLPtr = -1074098093;                    // 0xBFFA9053
inline constexpr int32_t kErrorEmptyString = -1074098043;                // 0xBFFA9085
inline constexpr int32_t kErrorInvalidCharInString = -1074098079;        // 0xBFFA9061
inline constexpr int32_t kErrorLeadingSpaceInString = -1074098080;       // 0xBFFA9060
inline constexpr int32_t kErrorTrailingSpaceInString = -1074098081;      // 0xBFFA905F
inline constexpr int32_t kErrorLeadingUnderscoreInString = -1074098082;  // 0xBFFA905E
inline constexpr int32_t kErrorNameTooLong = -1074097806;                // 0xBFFA9172
// An internal state that cannot happen was reached.
inline constexpr int32_t kErrorSoftwareFault = -1074097800;            // 0xBFFA9178
inline constexpr int32_t kErrorOutOfRange = -1074097810;               // 0xBFFA916E
inline constexpr int32_t kErrorReadBufferTooSmall = -1074097936;       // 0xBFFA90F0
inline constexpr int32_t kErrorBufferTooSmallForString = -1074097935;  // 0xBFFA90F1
// Stored data that cannot be read as it should be.
inline constexpr int32_t kErrorInvalidStorage = -1074098144;  // 0xBFFA9020
// A write presented a sequence number that is no longer the stored one.
inline constexpr int32_t kErrorStorageAlteredPriorToSave = -1074098143;  // 0xBFFA9021
inline constexpr int32_t kErrorResourceAlreadyReserved = -1074097852;    // 0xBFFA9144
inline constexpr int32_t kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning =
    -1074098122;  // 0xBFFA9036
// A wait for the device gave up.
inline constexpr int32_t kErrorOperationTimedOut = -1074098044;  // 0xBFFA9084
// A C caller passed a null pointer where an output or record is required.
inline constexpr int32_t kErrorNULLPtrForC_Api = -1074097937;  // 0xBFFA90EF

}  // namespace qvmxl

// Codes shared with the module's other software.
namespace SDISharedErrors {
// The FPGA image does not carry the resource an operation needs.
inline constexpr int32_t kErrorFpgaResourceNotFound = -1074100464;  // 0xBFFA8710
// The bitfile was not built for this module (or for a revision it lacks).
inline constexpr int32_t kErrorIncompatibleBitfile = -1074100460;  // 0xBFFA8714
}  // namespace SDISharedErrors
