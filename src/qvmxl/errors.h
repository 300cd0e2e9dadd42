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
inline constexpr int32_t kErrorSoftwareFault = -1074097800;              // 0xBFFA9178

}  // namespace qvmxl
