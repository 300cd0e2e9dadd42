// The status codes the module's kernel driver answers with that callers act
// on, in one place: the library checks them, the simulated module answers
// with them, and tests compare against these names.
#pragma once

#include <cstdint>

namespace sdihal {

// The module does not have the block a request addressed.
inline constexpr int32_t kDriverErrorBlockAbsent = -1074101883;
// Version check of a request interface: the driver's is too old for this
// library, or this library's too old for the driver.
inline constexpr int32_t kDriverErrorDriverTooOld = -1074101882;
inline constexpr int32_t kDriverErrorLibraryTooOld = -1074101881;
// A route reservation conflicts with others; the reply lists them.
inline constexpr int32_t kDriverErrorReservationConflict = -89137;

}  // namespace sdihal
