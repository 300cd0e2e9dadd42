// Makes the host FIFO of one DMA channel for an FPGA object.
#pragma once

#include <cstdint>
#include <memory>

#include "atomiczekddk/user/fifo/Fifo.h"

namespace qvzek {

class IFifoFactory {
public:
    virtual ~IFifoFactory() = default;
    virtual std::unique_ptr<IFifo> create(const NamedFifo& description, uint64_t sessionKey,
                                          int32_t preferredNumaNode, int32_t highestNumaNode) = 0;
};

class FifoFactory : public IFifoFactory {
public:
    explicit FifoFactory(std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> proxy)
        : proxy_(std::move(proxy)) {}
    std::unique_ptr<IFifo> create(const NamedFifo& description, uint64_t sessionKey,
                                  int32_t preferredNumaNode, int32_t highestNumaNode) override {
        return std::make_unique<Fifo>(description, proxy_, sessionKey, preferredNumaNode,
                                      highestNumaNode);
    }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> proxy_;
};

}  // namespace qvzek
