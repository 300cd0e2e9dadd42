#include "atomiczekddk/user/fifo/FifoAcquirerReleaserInterfaceProxy.h"

namespace qvzek {

uint64_t FifoAcquirerReleaserInterfaceProxy::waitForBytes(uint64_t totalBytes, uint32_t timeout,
                                                          bool* timedOut,
                                                          nQVAPALS100::tStatus& status, uint64_t*) {
    uint8_t flag = 0;
    const uint64_t bytes =
        fifo_->waitForBytes(session_, number_, totalBytes, timeout, &flag, status);
    if (timedOut != nullptr) *timedOut = flag != 0;
    return bytes;
}

void FifoAcquirerReleaserInterfaceProxy::releaseBytes(uint64_t bytes,
                                                      nQVAPALS100::tStatus& status) {
    fifo_->releaseBytes(session_, number_, bytes, status);
}

}  // namespace qvzek
