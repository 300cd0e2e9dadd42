// Register access by driver requests: every access is one request of the
// FPGA driver's io interface; no register space is mapped.
#pragma once

#include <memory>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/IIoAccessor.h"

namespace qvzek::user {

class IoAccessorIoctl : public IIoAccessor {
public:
    // The proxy outlives the accessor.
    explicit IoAccessorIoctl(sdihal::iInterfaceProxy_atomiczekddk_io& io) : io_(&io) {}
    // Keeps the proxy alive for as long as the accessor lives.
    explicit IoAccessorIoctl(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_io> io)
        : io_(io.get()), owner_(std::move(io)) {}

    // Address bit 0 set: -63084, nothing sent. Bits 0 and 1 are cleared
    // before the address goes to the driver. A driver error is thrown, except
    // while another exception unwinds the stack: then it is logged, and
    // read32 answers 0xFFFFFFFF.
    uint32_t read32(uint32_t address) override;
    void write32(uint32_t address, uint32_t value) override;
    void readBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                   uint32_t flag) override;
    void writeBlock(uint32_t address, uint64_t buffer, uint32_t bytes, uint32_t width,
                    uint32_t flag) override;

private:
    sdihal::iInterfaceProxy_atomiczekddk_io* io_;
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_io> owner_;
};

}  // namespace qvzek::user
