// Process-wide trace log: one prefixed line per call,
// "[" component "|" file "|" line "] " message, written through an output
// hook when the call's level reaches the threshold.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace trace {

struct LogLocation {
    const char* file;
    int64_t line;
    const char* suffix;  // "\n" at every site
};

using OutputHook = void (*)(const char* text);
using FormatHook = int (*)(char* buffer, size_t size, const char* format, va_list args);

// Process-wide settings; nothing in the library changes them (tests may).
struct Settings {
    uint32_t threshold = 4096;
    OutputHook output;  // fputs to standard error
    FormatHook format;  // vsnprintf
    uint32_t componentWidth = 10;
    uint32_t fileWidth = 32;
    uint32_t lineWidth = 4;
};
Settings& settings();

inline constexpr uint32_t kLevelError = 4096;
inline constexpr uint32_t kLevelException = 16384;
inline constexpr size_t kLineSize = 512;

void log(uint32_t level, const LogLocation& location, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void logAlways(const LogLocation& location, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void vlog(const LogLocation& location, const char* format, va_list args);
void print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vprint(const char* format, va_list args);

// Formats through the settable formatting hook.
int formatv(char* buffer, size_t size, const char* format, va_list args);

}  // namespace trace

#define TRACE_LOCATION()                                                               \
    ([]() -> const ::trace::LogLocation& {                                             \
        static constexpr ::trace::LogLocation qvLogLocation{__FILE__, __LINE__, "\n"}; \
        return qvLogLocation;                                                          \
    }())
