// Scope guard over a chained status: operations fill the status while the
// guard lives; at scope exit an error in it is thrown as qverr::Exception
// (unless another exception is already propagating), and the status's JSON
// buffer is released either way.
#pragma once

#include <exception>

#include "qverr/Status.h"

namespace qverr {

class StatusThrowGuard {
public:
    explicit StatusThrowGuard(Status& status) : status_(status) {}
    StatusThrowGuard(const StatusThrowGuard&) = delete;
    StatusThrowGuard& operator=(const StatusThrowGuard&) = delete;
    ~StatusThrowGuard() noexcept(false);

    Status& status() { return status_; }

private:
    Status& status_;
    int uncaught_ = std::uncaught_exceptions();
};

}  // namespace qverr
