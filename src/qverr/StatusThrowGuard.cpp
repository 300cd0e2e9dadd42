#include "qverr/StatusThrowGuard.h"

#include <utility>

#include "qverr/Exception.h"

namespace qverr {

StatusThrowGuard::~StatusThrowGuard() noexcept(false) {
    const bool unwinding = std::uncaught_exceptions() > uncaught_;
    if (platformStatus_ != nullptr) {
        if (!unwinding) throwIfTStatusError(*platformStatus_);
        return;
    }
    // The detail leaves the status (into the exception, or released with
    // `taken` through the status's own realloc); the code and the realloc
    // function stay the caller's.
    const int32_t code = status_->code;
    const JsonReallocFunction realloc = status_->realloc;
    Status taken = std::move(*status_);
    status_->code = code;
    status_->realloc = realloc;
    if (taken.isError() && !unwinding) throwStatus(std::move(taken));
}

}  // namespace qverr
