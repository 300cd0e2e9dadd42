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

// How a handle conversion refuses a handle: -52005 raised at `location`; a
// 0 handle adds the detail pair `key`: `nullText`, or nothing when
// `nullText` is null; a handle that is not live of the kind asked for adds
// `key`: "unknown handle".
struct HandleRefusal {
    const qverr::SourceLocation& location;
    const char* key;
    const char* nullText = nullptr;
};

// The refusal of every context-as-handle family and of the module platform
// session: the null-argument check's location, no detail for a 0 handle.
extern const HandleRefusal kSessionPtrRefusal;

[[noreturn]] void throwInvalidHandle(uint64_t handle, const HandleRefusal& refusal);

// The one conversion of a handle into its object: `handle` must be live with
// `kind`, else it is refused as `refusal` says.
template <class T>
T* objectFromHandle(uint64_t handle, HandleKind kind, const HandleRefusal& refusal) {
    if (handle == 0 || !isLiveHandle(handle, kind)) throwInvalidHandle(handle, refusal);
    return reinterpret_cast<T*>(static_cast<uintptr_t>(handle));
}

// As objectFromHandle for the close that frees the object: the handle is
// dropped, so of two closes of one handle only the first gets the object.
template <class T>
T* takeObjectFromHandle(uint64_t handle, HandleKind kind, const HandleRefusal& refusal) {
    if (handle == 0 || !dropHandle(handle, kind)) throwInvalidHandle(handle, refusal);
    return reinterpret_cast<T*>(static_cast<uintptr_t>(handle));
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
