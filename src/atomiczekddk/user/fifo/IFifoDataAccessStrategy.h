// The host side of a DMA FIFO's data: a ring of elements in host memory that
// the device fills or drains. Every operation taking a status does nothing
// when it already holds an error and reports its own errors there.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IFifoDataAccessStrategy {
public:
    virtual ~IFifoDataAccessStrategy() = default;
    // base null and depth 0 leave the FIFO unconfigured.
    virtual void configure(void* base, uint64_t depth, uint64_t overhangElements) = 0;
    virtual uint64_t getElementsAcquired() const = 0;
    virtual void read(void* destination, uint64_t count, uint32_t timeout, bool* timedOut,
                      uint64_t* remaining, nQVAPALS100::tStatus& status) = 0;
    virtual void write(const void* source, uint64_t count, uint32_t timeout, bool* timedOut,
                       uint64_t* remaining, nQVAPALS100::tStatus& status) = 0;
    // Hands out up to count contiguous elements (fewer at the end of the ring).
    virtual void acquire(void** address, uint64_t count, uint32_t timeout, bool* timedOut,
                         uint64_t* acquiredCount, uint64_t* remaining,
                         nQVAPALS100::tStatus& status) = 0;
    virtual void release(uint64_t count, nQVAPALS100::tStatus& status) = 0;
};

}  // namespace qvzek
