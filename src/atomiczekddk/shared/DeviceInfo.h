// What the device manager knows of one module: how it is named across
// reboots, where its device file is and which driver interface it was found
// under. Shared and never changed once made.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvzek {

struct DeviceInfo {
    std::string persistentToken;
    std::string defaultName;
    uint32_t busAddressCode = 0;
    std::string interfacePath;
    const char* interfaceName = nullptr;
};
using DeviceInfoList = std::vector<std::shared_ptr<const DeviceInfo>>;

}  // namespace qvzek
