// Flash access of the traditional FPGA session: writing or clearing the
// image in the module's flash and one flash value. Failures throw
// qverr::Exception.
#pragma once

#include <cstdint>
#include <vector>

namespace qvzek {

class IFlashManager {
public:
    virtual ~IFlashManager() = default;
    // `unused` is accepted for the callers' sake and ignored.
    virtual void writeImage(const std::vector<uint8_t>& image, const char* unused) = 0;
    virtual void setFlashValue(uint32_t value) = 0;
    virtual uint32_t getFlashValue() = 0;
    virtual uint32_t getFlashVersion() = 0;
    virtual void clearImage() = 0;
};

}  // namespace qvzek
