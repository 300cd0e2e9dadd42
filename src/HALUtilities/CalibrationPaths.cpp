#include "HALUtilities/CalibrationPaths.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "qvsysq/sysq.h"

namespace qv3377hal {

std::string pidDirectoryName(uint32_t productId) {
    char name[16];
    std::snprintf(name, sizeof name, "PIDx%04X", productId);
    return name;
}

std::string calibrationFilePath(uint32_t productId, const std::string& a, const std::string& b) {
    std::filesystem::path path(qvsysq::getSharedStateDir());
    path /= "qvqrx/calfiles";
    path /= pidDirectoryName(productId);
    path /= a;
    path /= b;
    return path.string();
}

std::string zeroPadTo8(const char* text) {
    if (text == nullptr) return {};
    const size_t length = std::strlen(text);
    return length >= 8 ? std::string(text) : std::string(8 - length, '0') + text;
}

}  // namespace qv3377hal
