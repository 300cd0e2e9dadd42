// The frame of every exported function: argument checks, handle conversion,
// one call of the object's method, and the exception ladder of the family's
// status style. Nothing but a status ever leaves an export.
//
// Status styles:
//   return code      int32 result: 0, negative error, positive warning
//   status last      qverr::Status* last; null makes the call do nothing
//   chained          as status last, and a status holding an error already
//                    makes the call do nothing
//   platform status  a 216-byte nQVAPALS100::tStatus, code returned as int32
//                    (seven-clause ladder)
//
// The helpers allocate nothing on the success path.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "HALUtilities/HandleRegistry.h"
#include "qvapal/status/tStatus.h"
#include "qverr/Exception.h"
#include "qverr/Status.h"

namespace qv3377hal {

inline constexpr const char* kComponent = "qv3377hal";

// The frame's own raise sites, recorded in the statuses it sets.
extern const qverr::SourceLocation kOutOfMemoryLocation;       // line 105
extern const qverr::SourceLocation kStdExceptionLocation;      // line 114
extern const qverr::SourceLocation kUnknownExceptionLocation;  // line 121
extern const qverr::SourceLocation kNullArgumentLocation;      // line 134

// Throws -52005 from the null-argument check.
[[noreturn]] void throwNullArgument();
// The same, with the detail "operation": "problem" naming the refusal.
[[noreturn]] void throwNullArgument(const char* operation, const char* problem);

// Throws -52005 from the null-argument check when any pointer is null.
template <class... Pointers>
void checkNotNull(const Pointers*... pointers) {
    if ((false || ... || (pointers == nullptr)))
        throwNullArgument("ErrorHandling", "null pointer argument");
}

// Throws -52005 from `location` for a handle that is 0 or not live, with the
// detail pair `key`: `nullText` or "unknown handle".
[[noreturn]] void throwInvalidHandle(uint64_t handle, const qverr::SourceLocation& location,
                                     const char* key, const char* nullText = "null handle");

// The handle of a context-as-handle family as its object; 0 or a handle that
// names no live context throws -52005 from the null-argument check.
template <class Session>
Session* familySessionPtr(uint64_t handle) {
    if (handle == 0 || !isLiveHandle(handle, HandleKind::deviceContext)) {
        throwInvalidHandle(handle, kNullArgumentLocation, "sessionPtrFromHandle");
    }
    return reinterpret_cast<Session*>(static_cast<uintptr_t>(handle));
}

// Inside a catch block: the code of the exception being handled, by the
// four-clause ladder (a status exception's own code; -52000; -52003).
int32_t codeOfCurrentException() noexcept;
// Inside a catch block: merges the exception being handled into `status`
// by the four-clause ladder (a status exception by move; otherwise the code
// alone).
void mergeCurrentException(qverr::Status& status) noexcept;
// Inside a catch block: stores the exception being handled into `status`
// by the seven-clause ladder, located at the catching code.
void storeCurrentException(nQVAPALS100::tStatus& status, const char* component, const char* file,
                           uint64_t line) noexcept;

// Return-code style. `body` returns nothing (success is 0) or an int32
// status of its own.
template <class Body>
int32_t returnCodeCall(Body&& body) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            body();
            return 0;
        } else {
            return static_cast<int32_t>(body());
        }
    } catch (...) {
        return codeOfCurrentException();
    }
}

// Status-last style: a null status makes the call do nothing; exceptions
// merge into the caller's status (first error wins).
template <class Body>
void statusLastCall(qverr::Status* status, Body&& body) noexcept {
    if (status == nullptr) return;
    try {
        body();
    } catch (...) {
        mergeCurrentException(*status);
    }
}

// Status-last style of a function that returns a value (a handle): as
// above, `fallback` when the call did nothing or failed.
template <class Result, class Body>
Result statusLastValue(qverr::Status* status, Result fallback, Body&& body) noexcept {
    if (status == nullptr) return fallback;
    try {
        return body();
    } catch (...) {
        mergeCurrentException(*status);
        return fallback;
    }
}

// Chained style: as status last, and nothing is done after an error.
template <class Body>
void chainedCall(qverr::Status* status, Body&& body) noexcept {
    if (status == nullptr || status->isError()) return;
    statusLastCall(status, std::forward<Body>(body));
}

// Platform-status style: `body` fills the local platform status; an
// exception is stored by the seven-clause ladder at the given location.
// Returns the status's code.
template <class Body>
int32_t platformStatusCall(nQVAPALS100::tStatus& status, const char* component, const char* file,
                           uint64_t line, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        storeCurrentException(status, component, file, line);
    }
    return qverr::narrowStatusCode(status.getCode());
}

}  // namespace qv3377hal

// Declares an exported C function.
#define QV_EXPORT extern "C" __attribute__((visibility("default")))
