// The exceptions that carry a status and its JSON error context. what() is
// the JSON text, never prose.
#pragma once

#include <exception>

#include "qverr/Status.h"

namespace nQVAPALS100 {
struct tStatus;
}

namespace qverr {

class ExceptionBase {
public:
    Status status;

    ExceptionBase() = default;
    // Takes over the other's status (moves the buffer when both use the
    // default realloc).
    ExceptionBase(ExceptionBase&& other) noexcept;
    // Copies the code always and the detail when it can be allocated.
    ExceptionBase(const ExceptionBase& other);
    virtual ~ExceptionBase();
    virtual const char* what() const noexcept;
};

class Exception : public virtual ExceptionBase, public virtual std::exception {
public:
    Exception() = default;
    // A status raised at `location` (setCode).
    Exception(int32_t code, const SourceLocation& location);
    Exception(Exception&& other) noexcept;
    Exception(const Exception& other);
    ~Exception() override;
    const char* what() const noexcept override;
};

// Throws an exception that takes over `status`.
[[noreturn]] void throwStatus(Status&& status);
// Throws an exception holding `code` raised at `location`.
[[noreturn]] void throwError(int32_t code, const SourceLocation& location);
// Throws when the platform status holds an error; warnings return.
void throwIfTStatusError(const nQVAPALS100::tStatus& platformStatus);

// Copies an error of `source` into a platform status (component, file and
// line from the JSON detail); nothing when the target already has an error.
bool copyStatusToTStatus(const Status& source, nQVAPALS100::tStatus& target);

}  // namespace qverr

// Throws a qverr::Exception with `code` raised at this line.
#define QVERR_THROW(component, code, constant) \
    ::qverr::throwError((code), QVERR_LOCATION(component, constant))
