// One kernel-driver request of a sub-session: a fresh platform status for
// the call, and an error in it thrown (with the driver's code, component,
// file and line) once the call returns. Warnings pass.
#pragma once

#include <type_traits>

#include "qvapal/status/tStatus.h"
#include "qverr/StatusThrowGuard.h"

namespace qv3377hal {

// `call(status)` sends the request; its result is returned on success.
template <class Call>
requires qverr::ResultSafePastGuard<std::invoke_result_t<Call&, nQVAPALS100::tStatus&>>
auto driverRequest(Call&& call) {
    nQVAPALS100::tStatus status;
    qverr::TStatusThrower thrower(status);
    return call(status);
}

}  // namespace qv3377hal
