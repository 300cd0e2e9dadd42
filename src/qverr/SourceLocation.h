// Static record of a raise site: every raised status carries one.
#pragma once

#include <cstdint>

namespace qverr {

struct SourceLocation {
    const char* file;
    int64_t line;
    const char* component;      // may be null
    const char* errorConstant;  // never null
};

}  // namespace qverr

// A static location for this line. `constant` is the error constant's name
// (or the text of the expression that yielded the code).
#define QVERR_LOCATION(component, constant)                                                \
    ([]() -> const ::qverr::SourceLocation& {                                              \
        static constexpr ::qverr::SourceLocation qvLocation{__FILE__, __LINE__, component, \
                                                            constant};                     \
        return qvLocation;                                                                 \
    }())

// A static location whose source name and line are fixed, for raise sites
// whose location callers and error descriptions rely on.
#define QVERR_FIXED_LOCATION(source, line, component, constant)                                 \
    ([]() -> const ::qverr::SourceLocation& {                                                   \
        static constexpr ::qverr::SourceLocation qvLocation{source, line, component, constant}; \
        return qvLocation;                                                                      \
    }())
