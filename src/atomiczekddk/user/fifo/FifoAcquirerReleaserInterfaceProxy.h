// The hardware side of a host FIFO reached through the FPGA driver's fifo
// requests, for one session and FIFO number.
#pragma once

#include <memory>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/user/fifo/IFifoAcquirerReleaser.h"

namespace qvzek {

class FifoAcquirerReleaserInterfaceProxy : public IFifoAcquirerReleaser {
public:
    FifoAcquirerReleaserInterfaceProxy(
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> fifo, uint64_t session,
        uint32_t number)
        : fifo_(std::move(fifo)), session_(session), number_(number) {}

    // `remaining` is the data access's own business: left alone.
    uint64_t waitForBytes(uint64_t totalBytes, uint32_t timeout, bool* timedOut,
                          nQVAPALS100::tStatus& status, uint64_t* remaining) override;
    void releaseBytes(uint64_t bytes, nQVAPALS100::tStatus& status) override;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> fifo_;
    uint64_t session_;
    uint32_t number_;
};

}  // namespace qvzek
