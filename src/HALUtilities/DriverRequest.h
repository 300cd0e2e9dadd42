// One kernel-driver request of a sub-session: a fresh platform status for
// the call, and an error in it thrown (with the driver's code, component,
// file and line) once the call returns. Warnings pass.
#pragma once

#include <type_traits>
#include <utility>

#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"

namespace qv3377hal {

// `call(status)` sends the request; its result is returned on success.
template <class Call>
auto driverRequest(Call&& call) {
    nQVAPALS100::tStatus status;
    if constexpr (std::is_void_v<std::invoke_result_t<Call&, nQVAPALS100::tStatus&>>) {
        call(status);
        qverr::throwIfTStatusError(status);
    } else {
        auto result = call(status);
        qverr::throwIfTStatusError(status);
        return result;
    }
}

}  // namespace qv3377hal
