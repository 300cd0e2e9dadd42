// Scope guard over a status that operations fill while it lives: at scope
// exit an error in the status is thrown as qverr::Exception, unless another
// exception is already propagating. Warnings never throw.
//
// Over a chained status the JSON detail leaves it either way (into the
// exception, or released through the status's own realloc); a platform
// status is left as it is.
#pragma once

#include <exception>

#include "qverr/Status.h"

namespace nQVAPALS100 {
struct tStatus;
}

namespace qverr {

class StatusThrowGuard {
public:
    explicit StatusThrowGuard(Status& status) : status_(&status) {}
    explicit StatusThrowGuard(nQVAPALS100::tStatus& status) : platformStatus_(&status) {}
    StatusThrowGuard(const StatusThrowGuard&) = delete;
    StatusThrowGuard& operator=(const StatusThrowGuard&) = delete;
    ~StatusThrowGuard() noexcept(false);

private:
    Status* status_ = nullptr;
    nQVAPALS100::tStatus* platformStatus_ = nullptr;
    int uncaught_ = std::uncaught_exceptions();
};

// Calls `call` with a fresh chained status (for a library that takes one
// last); an error left there is thrown with the library's own code and
// detail, unless an exception is already on its way out.
template <class Call>
auto callWithStatus(Call&& call) {
    Status status;
    StatusThrowGuard guard(status);
    return call(&status);
}

}  // namespace qverr
