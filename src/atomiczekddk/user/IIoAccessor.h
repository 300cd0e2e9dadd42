// Register access of an FPGA device: single 32-bit registers and blocks of
// consecutive registers. Failures throw qverr::Exception.
#pragma once

#include <cstdint>

namespace qvzek::user {

class IIoAccessor {
public:
    virtual ~IIoAccessor() = default;
    virtual uint32_t read32(uint32_t address) = 0;
    virtual void write32(uint32_t address, uint32_t value) = 0;
    // Moves `bytes` bytes between `buffer` (a host address) and the registers
    // from `address` on; `width` (1, 2, 4 or 8) and the one-bit `flag` are
    // the driver's.
    virtual void readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                           uint32_t flag) = 0;
    virtual void writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                            uint32_t flag) = 0;
};

}  // namespace qvzek::user
