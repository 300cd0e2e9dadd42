// Scope guards over a status that operations fill while the guard lives: at
// scope exit an error in the status is thrown as qverr::Exception, unless
// another exception is already propagating. Warnings never throw.
//
// TStatusThrower guards a platform status and leaves it as it is.
// StatusThrowGuard guards a chained status, whose JSON detail leaves it
// either way (into the exception, or released through its own realloc).
#pragma once

#include <exception>
#include <type_traits>

#include "qverr/Status.h"

namespace nQVAPALS100 {
struct tStatus;
}

namespace qverr {

// What each status type does at the end of a guarded scope.
void throwAtScopeExit(nQVAPALS100::tStatus& status, bool unwinding);
void throwAtScopeExit(Status& status, bool unwinding);

template <class StatusType>
class ScopeExitThrower {
public:
    explicit ScopeExitThrower(StatusType& status) : status_(status) {}
    ScopeExitThrower(const ScopeExitThrower&) = delete;
    ScopeExitThrower& operator=(const ScopeExitThrower&) = delete;
    ~ScopeExitThrower() noexcept(false) {
        throwAtScopeExit(status_, std::uncaught_exceptions() > uncaught_);
    }

private:
    StatusType& status_;
    int uncaught_ = std::uncaught_exceptions();
};

using TStatusThrower = ScopeExitThrower<nQVAPALS100::tStatus>;
using StatusThrowGuard = ScopeExitThrower<Status>;

// What a call made while a guard lives may return: the guard throws after
// the result is made, and clang never destroys a result thrown past, so
// only one that needs no destructor.
template <class Result>
concept ResultSafePastGuard = std::is_void_v<Result> || std::is_trivially_destructible_v<Result>;

// Calls `call` with a fresh chained status (for a library that takes one
// last); an error left there is thrown with the library's own code and
// detail, unless an exception is already on its way out.
template <class Call>
requires ResultSafePastGuard<std::invoke_result_t<Call&, Status*>>
auto callWithStatus(Call&& call) {
    Status status;
    StatusThrowGuard guard(status);
    return call(&status);
}

}  // namespace qverr
