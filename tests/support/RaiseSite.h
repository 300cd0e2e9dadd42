// "<file>:<line>" of a platform status: compared with the literal text a
// raise site must report.
#pragma once

#include <cstring>
#include <string>

#include "qvapal/status/tStatus.h"

namespace qvtest {

inline std::string raiseSite(const nQVAPALS100::tStatus& status) {
    return std::string(status.file, strnlen(status.file, sizeof status.file)) + ":" +
           std::to_string(status.line);
}

}  // namespace qvtest
