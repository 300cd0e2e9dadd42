// The FIFO through which the generation and acquisition engines and the
// calibration, list-mode and peer-to-peer sessions move data, and the
// interrupt context they wait on; the engines never call the FPGA interface
// library themselves.
//
// Every operation takes the caller's platform status last. When it already
// holds an error the operation does nothing and a getter returns 0;
// otherwise the library's result is stored into it (an error never
// replaces an earlier error).
#pragma once

#include <cstddef>
#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvisl {

using nQVAPALS100::tStatus;

template <class T>
class Fifo {
public:
    virtual ~Fifo() = default;

    virtual void read(T* data, size_t count, uint32_t timeout, size_t* remaining,
                      tStatus& status) = 0;
    virtual void write(const T* data, size_t count, uint32_t timeout, size_t* emptyRemaining,
                       tStatus& status) = 0;
    virtual void configure(size_t requestedDepth, size_t* actualDepth, tStatus& status) = 0;
    // Stops, then starts only when the stop left no error.
    virtual void restart(tStatus& status) = 0;
    virtual void start(tStatus& status) = 0;
    virtual void stop(tStatus& status) = 0;
    virtual void acquireReadElements(T** elements, size_t requested, uint32_t timeout,
                                     size_t* acquired, size_t* remaining, tStatus& status) = 0;
    virtual void acquireWriteElements(T** elements, size_t requested, uint32_t timeout,
                                      size_t* acquired, size_t* remaining, tStatus& status) = 0;
    // Zero-copy regions: only the Korvex variant has them (-52002 otherwise).
    virtual void acquireReadRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                                   uint64_t value64, tStatus& status) = 0;
    virtual void acquireWriteRegion(uint32_t* reference, void* data, uint32_t value, void* out,
                                    uint64_t value64, tStatus& status) = 0;
    virtual void releaseElements(size_t count, tStatus& status) = 0;
    virtual uint32_t getPeerToPeerEndpoint(tStatus& status) = 0;
    virtual void setPropertyI32(uint32_t property, int32_t value, tStatus& status) = 0;
    virtual void setPropertyU32(uint32_t property, uint32_t value, tStatus& status) = 0;
    virtual void setPropertyI64(uint32_t property, int64_t value, tStatus& status) = 0;
    virtual void setPropertyU64(uint32_t property, uint64_t value, tStatus& status) = 0;
    virtual void setPropertyPtr(uint32_t property, void* value, tStatus& status) = 0;
    virtual int32_t getPropertyI32(uint32_t property, tStatus& status) = 0;
    virtual uint32_t getPropertyU32(uint32_t property, tStatus& status) = 0;
    virtual int64_t getPropertyI64(uint32_t property, tStatus& status) = 0;
    virtual uint64_t getPropertyU64(uint32_t property, tStatus& status) = 0;
    virtual void* getPropertyPtr(uint32_t property, tStatus& status) = 0;
    virtual void commitConfiguration(tStatus& status) = 0;
};

class IRQContext {
public:
    virtual ~IRQContext() = default;
    // *timedOut tells whether the wait ended without any of `irqs`.
    virtual void waitOnIrqs(uint32_t irqs, uint32_t timeout, uint32_t* irqsAsserted, bool* timedOut,
                            tStatus& status) = 0;
    virtual void acknowledgeIrqs(uint32_t irqs, tStatus& status) = 0;
};

}  // namespace qvisl
