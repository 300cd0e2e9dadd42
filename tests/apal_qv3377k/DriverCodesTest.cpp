// The kernel driver's codes that callers act on, typed in from their
// definition: a wrong constant fails here instead of agreeing with itself in
// the library, the simulated module and their tests.
#include <gtest/gtest.h>

#include "apal_qv3377k/DriverCodes.h"
#include "support/NamedCodes.h"

namespace {

TEST(KernelDriverCodes, EveryNamedCodeHasItsAgreedValue) {
    using namespace sdihal;
    qvtest::expectAgreedValues({
        QV_NAMED_CODE(kDriverErrorBlockAbsent, -1074101883),
        QV_NAMED_CODE(kDriverErrorDriverTooOld, -1074101882),
        QV_NAMED_CODE(kDriverErrorLibraryTooOld, -1074101881),
        QV_NAMED_CODE(kDriverErrorReservationConflict, -89137),
    });
}

}  // namespace
