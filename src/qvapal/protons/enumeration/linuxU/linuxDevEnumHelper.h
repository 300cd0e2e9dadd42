// Reads a small file of the kernel driver's /proc tree in one go.
#pragma once

#include <cstddef>

#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

// The largest file content read.
inline constexpr size_t kMaximumFileContent = 4096;

// Reads all of `path` into `buffer` (kMaximumFileContent + 1 bytes, so that
// a longer file shows as such) and returns the byte count; 0 with the
// status raised when the file cannot be opened (-52006) or read (-52024).
size_t readWholeFile(const char* path, char* buffer, nQVAPALS100::tStatus& status);

}  // namespace sdihal::nQVAPAL000
