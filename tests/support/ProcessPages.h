// This process's pages as the kernel counts them (/proc/self/statm): in its
// address space, and in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace qvtest {

struct ProcessPages {
    int64_t mapped;
    int64_t resident;
};

inline ProcessPages processPages() {
    const std::string statm = readFile("/proc/self/statm");
    char* end = nullptr;
    const int64_t mapped = std::strtoll(statm.c_str(), &end, 10);
    return {mapped, std::strtoll(end, nullptr, 10)};
}

}  // namespace qvtest
