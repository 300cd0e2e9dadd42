// FIFOs of the library on the simulated FPGA device: descriptions as the
// bitfile would give them, told to the device as a personality would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/user/fifo/Fifo.h"
#include "qverr/Exception.h"

namespace qvtest {

constexpr uint64_t kSessionKey = 0xC0FFEE;

class FifoOnDevice : public SimulatedFpga {
protected:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> fifoInterface{proxy, proxy.get()};

    static qvzek::NamedFifo describe(uint32_t number, uint8_t kind, const qvzek::Type& type,
                                     uint32_t bitfileDepth = 1024) {
        return qvzek::NamedFifo("fifo " + std::to_string(number),
                                qvzek::FifoDescriptor(qvzek::kResourceClassFifo, kind, type),
                                number, bitfileDepth, true, "base");
    }

    std::unique_ptr<qvzek::Fifo> make(uint32_t number, uint8_t kind, const qvzek::Type& type,
                                      uint32_t bitfileDepth = 1024) {
        const uint32_t size = type.elementType == qvzek::ElementType::FXP ? 8 : type.sizeInBytes;
        device.describeFifo(number, size, kind);
        return std::make_unique<qvzek::Fifo>(describe(number, kind, type, bitfileDepth),
                                             fifoInterface, kSessionKey, -1, -1);
    }
};

}  // namespace qvtest
