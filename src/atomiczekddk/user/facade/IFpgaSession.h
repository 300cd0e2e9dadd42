// The FPGA session a plug-in host drives. The host was compiled elsewhere
// and calls every operation by its position in the virtual table, so the
// declaration order below is binary interface: never reorder, insert or
// remove a virtual function. Each interface of the chain adds the
// operations of one interface version; the virtual destructor sits at
// positions 113 and 114, between `mapHostMemory` and `setFifoProperty`.
//
// Every operation but getInterfaceVersion, getFixedFlag and release takes the
// caller's platform status last, does nothing when it already holds an
// error, and never throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IFpgaSessionTraditional;

using tStatus = nQVAPALS100::tStatus;

// Typed members of every family, in position order: Bool, U8, U16, U32,
// U64, I8, I16, I32, I64, SGL, DBL. A Bool element of an array is a byte.
#define QVZEK_FPGA_SESSION_TYPES(X) \
    X(Bool, uint8_t)                \
    X(U8, uint8_t)                  \
    X(U16, uint16_t)                \
    X(U32, uint32_t)                \
    X(U64, uint64_t)                \
    X(I8, int8_t)                   \
    X(I16, int16_t)                 \
    X(I32, int32_t)                 \
    X(I64, int64_t)                 \
    X(Sgl, float)                   \
    X(Dbl, double)

class IFpgaSession {
public:
    // 0 to 5
    virtual uint32_t getInterfaceVersion() = 0;
    virtual IFpgaSessionTraditional* openTraditionalSession(int32_t mode, tStatus& status) = 0;
    virtual IFpgaSession* clone(tStatus& status) = 0;
    virtual void open(const char* bitfile, const char* signature, uint32_t attribute,
                      tStatus& status) = 0;
    virtual void release() = 0;
    virtual void close(uint32_t attribute, tStatus& status) = 0;

#define QVZEK_DECLARE(Name, T) \
    virtual T read##Name(uint32_t offset, bool mayTimeout, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 6 to 16
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T) \
    virtual void write##Name(uint32_t offset, T value, bool mayTimeout, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 17 to 27
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T)                                                            \
    virtual void readArray##Name(uint32_t offset, T* data, size_t count, bool mayTimeout, \
                                 tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 28 to 38
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T)                                                                   \
    virtual void writeArray##Name(uint32_t offset, const T* data, size_t count, bool mayTimeout, \
                                  tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 39 to 49
#undef QVZEK_DECLARE

    // 50 to 60
    virtual void download(bool* failed, tStatus& status) = 0;
    virtual void reset(tStatus& status) = 0;
    virtual void abort(tStatus& status) = 0;
    virtual void run(uint32_t attribute, bool* alreadyRunning, tStatus& status) = 0;
    virtual void reserveIrqContext(tStatus& status) = 0;
    virtual void unreserveIrqContext(tStatus& status) = 0;
    virtual uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeout, bool* timedOut,
                                tStatus& status) = 0;
    virtual void acknowledgeIrqs(uint32_t irqs, tStatus& status) = 0;
    virtual void configureFifo(uint32_t fifo, size_t requestedDepth, size_t* actualDepth,
                               tStatus& status) = 0;
    virtual void startFifo(uint32_t fifo, tStatus& status) = 0;
    virtual void stopFifo(uint32_t fifo, tStatus& status) = 0;

#define QVZEK_DECLARE(Name, T)                                                          \
    virtual void readFifo##Name(uint32_t fifo, T* data, size_t count, uint32_t timeout, \
                                uint8_t* waited, size_t* elementsRemaining, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 61 to 71
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T)                                                                 \
    virtual void writeFifo##Name(uint32_t fifo, const T* data, size_t count, uint32_t timeout, \
                                 uint8_t* waited, size_t* elementsRemaining, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 72 to 82
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T)                                                        \
    virtual void acquireFifoReadElements##Name(                                       \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited, \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 83 to 93
#undef QVZEK_DECLARE
#define QVZEK_DECLARE(Name, T)                                                        \
    virtual void acquireFifoWriteElements##Name(                                      \
        uint32_t fifo, T** elements, size_t count, uint32_t timeout, uint8_t* waited, \
        size_t* elementsAcquired, size_t* elementsRemaining, tStatus& status) = 0;
    QVZEK_FPGA_SESSION_TYPES(QVZEK_DECLARE)  // 94 to 104
#undef QVZEK_DECLARE

    // 105 to 112
    virtual void releaseFifoElements(uint32_t fifo, size_t count, tStatus& status) = 0;
    virtual uint64_t getBitfileValue(tStatus& status) = 0;
    virtual bool queryNotSupported(uint64_t first, uint64_t second, tStatus& status) = 0;
    virtual void getSignature(uint32_t* words, size_t* count, tStatus& status) = 0;
    virtual void findRegister(const char* name, uint32_t resourceType, uint32_t* result,
                              tStatus& status) = 0;
    virtual void findFifo(const char* name, uint32_t resourceType, uint32_t* result,
                          tStatus& status) = 0;
    virtual void getP2PEndpointId(uint32_t fifo, uint32_t* identifier, tStatus& status) = 0;
    virtual void mapHostMemory(int32_t memoryIndex, int32_t second, uint64_t third, uint64_t fourth,
                               uint8_t* fifth, uint64_t sixth, tStatus& status) = 0;

    // 113 and 114
    virtual ~IFpgaSession() = default;
};

class IFpgaSession171 : public IFpgaSession {
public:
    // 115 to 118
    virtual void setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                                 tStatus& status) = 0;
    virtual void getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                                 tStatus& status) = 0;
    virtual void commitFifoConfiguration(uint32_t fifo, tStatus& status) = 0;
    virtual uint32_t getRunState(tStatus& status) = 0;
};

class IFpgaSession180 : public IFpgaSession171 {
public:
    // 119 to 122
    virtual void readFifoComposite(uint32_t fifo, void* data, uint32_t elementBytes, size_t count,
                                   uint32_t timeout, uint8_t* waited, size_t* elementsRemaining,
                                   tStatus& status) = 0;
    virtual void writeFifoComposite(uint32_t fifo, const void* data, uint32_t elementBytes,
                                    size_t count, uint32_t timeout, uint8_t* waited,
                                    size_t* elementsRemaining, tStatus& status) = 0;
    virtual void acquireFifoReadElementsComposite(uint32_t fifo, void** elements,
                                                  uint32_t elementBytes, size_t count,
                                                  uint32_t timeout, uint8_t* waited,
                                                  size_t* elementsAcquired,
                                                  size_t* elementsRemaining, tStatus& status) = 0;
    virtual void acquireFifoWriteElementsComposite(uint32_t fifo, void** elements,
                                                   uint32_t elementBytes, size_t count,
                                                   uint32_t timeout, uint8_t* waited,
                                                   size_t* elementsAcquired,
                                                   size_t* elementsRemaining, tStatus& status) = 0;
};

class IFpgaSession185 : public IFpgaSession180 {
public:
    // 123
    virtual uint32_t getFixedFlag() = 0;
};

class IFpgaSession200 : public IFpgaSession185 {
public:
    // 124 to 127. `region` receives the handle that releaseFifoRegion takes
    // back, `elements` the first element.
    virtual void acquireFifoReadRegion(uint32_t fifo, void** region, void** elements,
                                       uint32_t isSigned, uint32_t elementBytes, size_t count,
                                       uint32_t timeout, uint8_t* waited, size_t* elementsAcquired,
                                       size_t* elementsRemaining, tStatus& status) = 0;
    virtual void acquireFifoWriteRegion(uint32_t fifo, void** region, void** elements,
                                        uint32_t isSigned, uint32_t elementBytes, size_t count,
                                        uint32_t timeout, uint8_t* waited, size_t* elementsAcquired,
                                        size_t* elementsRemaining, tStatus& status) = 0;
    virtual void releaseFifoRegion(uint32_t fifo, void* region, tStatus& status) = 0;
    virtual void resetFifo(uint32_t fifo, tStatus& status) = 0;
};

class IFpgaSession207 : public IFpgaSession200 {
public:
    // 128 to 130
    virtual void mapP2PSink(uint32_t fifo, void** address, size_t* size, void** context,
                            void** releaseFunction, tStatus& status) = 0;
    // A named block of the host memory: its size, address and the lease
    // (context and release function) the caller ends it with.
    virtual void openHostMemoryBuffer(const char* name, uint64_t* size, uint64_t* address,
                                      void** context, void** release, tStatus& status) = 0;
    // The two windows of a name, each with its lease.
    virtual void openHostMemoryBufferRegion(const char* name, uint64_t* size1M, uint64_t* address1M,
                                            void** context1M, void** release1M, uint64_t* size4k,
                                            uint64_t* address4k, void** context4k, void** release4k,
                                            tStatus& status) = 0;
};

}  // namespace qvzek
