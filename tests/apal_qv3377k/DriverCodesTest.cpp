// The kernel driver's codes that callers act on, typed in from their
// definition: a wrong constant fails here instead of agreeing with itself in
// the library, the simulated module and their tests.
#include <gtest/gtest.h>

#include <cstdint>

#include "apal_qv3377k/DriverCodes.h"

namespace {

TEST(KernelDriverCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace sdihal;
    const struct {
        const char* name;
        int32_t constant;
        int32_t value;
    } codes[] = {
        {"kDriverErrorBlockAbsent", kDriverErrorBlockAbsent, -1074101883},
        {"kDriverErrorDriverTooOld", kDriverErrorDriverTooOld, -1074101882},
        {"kDriverErrorLibraryTooOld", kDriverErrorLibraryTooOld, -1074101881},
        {"kDriverErrorReservationConflict", kDriverErrorReservationConflict, -89137},
    };
    for (const auto& code : codes) EXPECT_EQ(code.constant, code.value) << code.name;
}

}  // namespace
