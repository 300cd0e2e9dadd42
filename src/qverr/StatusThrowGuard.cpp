#include "qverr/StatusThrowGuard.h"

#include <utility>

#include "qverr/Exception.h"

namespace qverr {

void throwAtScopeExit(nQVAPALS100::tStatus& status, bool unwinding) {
    if (!unwinding) throwIfTStatusError(status);
}

void throwAtScopeExit(Status& status, bool unwinding) {
    // The detail leaves the status (into the exception, or released with
    // `taken` through the status's own realloc); the code and the realloc
    // function stay the caller's.
    const int32_t code = status.code;
    const JsonReallocFunction realloc = status.realloc;
    Status taken = std::move(status);
    status.code = code;
    status.realloc = realloc;
    if (taken.isError() && !unwinding) throwStatus(std::move(taken));
}

}  // namespace qverr
