// The attribute-driven FPGA session of a module reached the traditional
// way. Like IFpgaSession, a host compiled elsewhere calls it by position:
// the declaration order is binary interface. Positions 0 to 35, 37 and 38
// take the caller's platform status last, do nothing when it already holds
// an error, and never throw.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IFpgaSessionTraditional {
public:
    virtual uint32_t getU32Attribute(uint32_t id, nQVAPALS100::tStatus& status) = 0;  // 0
    virtual void getStringAttribute(int64_t id, char* buffer, uint64_t bufferSize,
                                    uint32_t* length,  // 1
                                    nQVAPALS100::tStatus& status) = 0;
    virtual void setU32Attribute(uint32_t id, uint32_t value,
                                 nQVAPALS100::tStatus& status) = 0;  // 2
    virtual void setStringAttribute(uint64_t id, const char* text,
                                    nQVAPALS100::tStatus& status) = 0;                      // 3
    virtual void loadBitstream(const uint8_t* bytes, uint32_t byteCount, const char* text,  // 4
                               uint32_t textLength, int32_t kind, nQVAPALS100::tStatus& status) = 0;
    virtual void reset(nQVAPALS100::tStatus& status) = 0;  // 5
    virtual void noOperation6(nQVAPALS100::tStatus& status) = 0;
    virtual void noOperation7(nQVAPALS100::tStatus& status) = 0;
    virtual void noOperation8(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported9(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported10(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported11(nQVAPALS100::tStatus& status) = 0;
    virtual void configureFifo(uint32_t fifo, int64_t depth, uint64_t* actualDepth,
                               uint64_t unused,  // 12
                               nQVAPALS100::tStatus& status) = 0;
    virtual void startFifo(uint32_t fifo, nQVAPALS100::tStatus& status) = 0;  // 13
    virtual void stopFifo(uint32_t fifo, nQVAPALS100::tStatus& status) = 0;   // 14
    virtual void readFifo(uint32_t fifo, uint64_t buffer, uint32_t count,
                          const uint32_t* typeCode,  // 15
                          uint32_t timeout, uint32_t* elementsDone, uint32_t* remaining,
                          nQVAPALS100::tStatus& status) = 0;
    virtual void writeFifo(uint32_t fifo, uint64_t buffer, uint32_t count,
                           const uint32_t* typeCode,  // 16
                           uint32_t timeout, uint32_t* elementsDone, uint32_t* remaining,
                           nQVAPALS100::tStatus& status) = 0;
    virtual void acquireFifoElements(uint32_t fifo, void** elements, uint64_t count,  // 17
                                     const uint32_t* typeCode, uint8_t direction, uint32_t timeout,
                                     uint64_t* acquired, uint64_t* remaining,
                                     nQVAPALS100::tStatus& status) = 0;
    virtual void releaseFifoElements(uint32_t fifo, int64_t count,
                                     nQVAPALS100::tStatus& status) = 0;  // 18
    virtual void noOperation19(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported20(nQVAPALS100::tStatus& status) = 0;
    virtual void readBlock(uint32_t address, uint32_t count, uint64_t buffer,
                           uint32_t access,  // 21
                           nQVAPALS100::tStatus& status) = 0;
    virtual void writeBlock(uint32_t address, uint32_t count, uint64_t buffer,
                            uint32_t access,  // 22
                            nQVAPALS100::tStatus& status) = 0;
    virtual int32_t notSupported23(nQVAPALS100::tStatus& status) = 0;
    virtual uint32_t read32(uint32_t address, nQVAPALS100::tStatus& status) = 0;  // 24
    virtual uint32_t notSupported25(nQVAPALS100::tStatus& status) = 0;
    virtual uint32_t notSupported26(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported27(nQVAPALS100::tStatus& status) = 0;
    virtual void write32(uint32_t address, uint32_t value, nQVAPALS100::tStatus& status) = 0;  // 28
    virtual void notSupported29(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported30(nQVAPALS100::tStatus& status) = 0;
    virtual uint32_t noOperation31(nQVAPALS100::tStatus& status) = 0;
    virtual uint32_t notSupported32(nQVAPALS100::tStatus& status) = 0;
    virtual void reserveIrqContext(nQVAPALS100::tStatus& status) = 0;    // 33
    virtual void unreserveIrqContext(nQVAPALS100::tStatus& status) = 0;  // 34
    virtual uint32_t waitOnIrqs(uint32_t mask, uint32_t timeout,
                                nQVAPALS100::tStatus& status) = 0;  // 35
    virtual void close() = 0;                                       // 36
    virtual void notSupported37(nQVAPALS100::tStatus& status) = 0;
    virtual void notSupported38(nQVAPALS100::tStatus& status) = 0;
    virtual ~IFpgaSessionTraditional() = default;  // 39 and 40
};

}  // namespace qvzek
