// The calls the FPGA interface library stand-in logged, one line each.
#pragma once

#include <string>
#include <vector>

#include "qvfpga/QvFpgaSim.h"

namespace qvtest {

inline std::vector<std::string> fpgaLibraryLog() {
    std::vector<std::string> lines;
    for (size_t i = 0; i < qvfpgasim_logCount(); ++i) {
        std::string line(qvfpgasim_logEntry(i, nullptr, 0), '\0');
        qvfpgasim_logEntry(i, line.data(), line.size() + 1);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace qvtest
