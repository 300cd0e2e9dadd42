// The hardware side of a host DMA FIFO as its data access sees it: how far
// the device has got, and handing bytes back. Errors go into the status.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IFifoAcquirerReleaser {
public:
    virtual ~IFifoAcquirerReleaser() = default;
    // Waits until at least totalBytes were made available since the FIFO
    // started, or the timeout (milliseconds) passes; returns the running
    // byte count. Read FIFOs count data, write FIFOs free space.
    virtual uint64_t waitForBytes(uint64_t totalBytes, uint32_t timeout, bool* timedOut,
                                  nQVAPALS100::tStatus& status, uint64_t* remaining) = 0;
    virtual void releaseBytes(uint64_t bytes, nQVAPALS100::tStatus& status) = 0;
};

}  // namespace qvzek
