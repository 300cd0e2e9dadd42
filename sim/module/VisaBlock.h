// The module as the VISA plug-in's driver sub-interface shows it: its PCI
// identity in the device tree, seven address spaces of simulated register
// memory that block reads and writes reach, and the sessions attached.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "kerneldriver/DeviceTree.h"
#include "module/Replies.h"
#include "qverr/Codes.h"

namespace qvsim {

class VisaBlock {
public:
    static constexpr uint32_t kBusNumber = 0x1C;
    static constexpr uint32_t kDeviceNumber = 0x0D;
    static constexpr uint32_t kFunctionNumber = 0x2;
    // The QV PXIe-3377's PCI identity.
    static constexpr uint32_t kVendorId = 0x7C1E;
    static constexpr uint32_t kDeviceId = 0xC4C4;
    static constexpr uint32_t kSubsystemVendorId = 0x1D5B;
    static constexpr uint32_t kSubsystemId = 0x7822;
    static constexpr const char* kManufacturerName = "QV Instruments";
    static constexpr const char* kModelName = "QV-3377";
    static constexpr uint32_t kSpaceCount = 7;
    static constexpr uint64_t kSpaceSize = 0x10000;
    // A transfer outside a space, or a space the module lacks.
    static constexpr int32_t kOutOfSpace = qverr::qvapalerr_invalidParameter;

    struct Space {
        uint16_t width = 32;
        uint64_t base = 0;
        uint64_t size = kSpaceSize;
    };

    // Publishes the identity as properties of `driver` in `tree`.
    VisaBlock(GuardedDecoder& decoder, DeviceTree& tree, const std::string& driver);
    VisaBlock(const VisaBlock&) = delete;
    VisaBlock& operator=(const VisaBlock&) = delete;
    ~VisaBlock();

    // Writes the PCI identity at {bus, device, function} as bus properties
    // of `driver`.
    static void publishIdentity(DeviceTree& tree, const std::string& driver, uint32_t bus,
                                uint32_t device, uint32_t function);
    // Writes a 4-byte bus property as the driver publishes it.
    static void setBusNumber(DeviceTree& tree, const std::string& driver, const char* name,
                             uint32_t value);

    std::array<Space, kSpaceCount> spaces;
    // Sessions attached and not yet detached, in memory that forked children
    // share: the driver keeps them with the open file, which a fork shares,
    // so a detach that a child sends shows here in the parent.
    std::atomic<int>& attached;

    std::vector<uint8_t> read(uint32_t space, uint64_t offset, uint64_t count) const;
    void write(uint32_t space, uint64_t offset, const std::vector<uint8_t>& bytes);

private:
    // The space's memory at [offset, offset + count), or null.
    uint8_t* at(uint32_t space, uint64_t offset, uint64_t count);

    mutable std::mutex mutex_;
    std::array<std::vector<uint8_t>, kSpaceCount> memory_;
};

}  // namespace qvsim
