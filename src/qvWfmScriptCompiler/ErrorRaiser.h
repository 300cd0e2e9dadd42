// Builds and throws the compiler's errors: a qverr::Exception raised at the
// calling line, with the usage records that explain it appended in order.
#pragma once

#include <cstdint>
#include <string>

#include "qvWfmScriptCompiler/errors.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"
#include "qvmxl/qvmxl.h"

namespace qvwfmscriptcompiler {

class iParseTree;

namespace detail {

inline constexpr const char* kComponent = "qv3377hal";

class ErrorRaiser {
public:
    ErrorRaiser(int32_t code, const qverr::SourceLocation& location);
    ErrorRaiser(const ErrorRaiser&) = delete;
    ErrorRaiser& operator=(const ErrorRaiser&) = delete;

    ErrorRaiser& usage(const char* type, uint32_t value);
    ErrorRaiser& usage(const char* type, int32_t value);
    ErrorRaiser& usage(const char* type, const char* value);
    ErrorRaiser& usage(const char* type, const std::string& value) {
        return usage(type, value.c_str());
    }
    ErrorRaiser& usageFloat(const char* type, double value);
    // Line number and position in line, the first records of most errors.
    ErrorRaiser& at(uint32_t line, uint32_t position);
    ErrorRaiser& at(const iParseTree& node);

    [[noreturn]] void raise();

private:
    qverr::Exception exception_;
    qvmxl::Writer writer_;
};

// A byte of script text as a one-character value: the character itself
// (control characters included), a whole UTF-8 sequence starting there, or
// "\xNN" for a NUL byte or a byte that starts no valid sequence (so that a
// NUL byte is not lost and the JSON stays valid UTF-8).
std::string characterText(const char* cursor, const char* end);

}  // namespace detail
}  // namespace qvwfmscriptcompiler

// A raiser for one of the compiler's own error constants, located here.
#define QVWSC_ERROR(constant)                   \
    ::qvwfmscriptcompiler::detail::ErrorRaiser( \
        ::qvwfmscriptcompiler_errors::constant, \
        QVERR_LOCATION(::qvwfmscriptcompiler::detail::kComponent, #constant))

#define QVWSC_SOFTWARE_FAULT()                  \
    ::qvwfmscriptcompiler::detail::ErrorRaiser( \
        ::qvmxl::kErrorSoftwareFault,           \
        QVERR_LOCATION(::qvwfmscriptcompiler::detail::kComponent, "kErrorSoftwareFault"))
