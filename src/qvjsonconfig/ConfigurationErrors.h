// Error codes of the JSON configuration store.
#pragma once

#include <cstdint>

namespace qvjsonconfig {

inline constexpr const char* kComponent = "internal_sdi_hal23u";

inline constexpr int32_t kErrorDeviceEntryNotFound = -1074097793;    // 0xBFFA917F
inline constexpr int32_t kErrorSoftwareTooNewForFile = -1074097794;  // 0xBFFA917E
inline constexpr int32_t kErrorFileTooNewForSoftware = -1074097795;  // 0xBFFA917D

// Versions of the file format this software writes and can read.
inline constexpr uint32_t kConfigurationVersion = 1;
inline constexpr uint32_t kOldestCompatibleVersion = 1;

}  // namespace qvjsonconfig
