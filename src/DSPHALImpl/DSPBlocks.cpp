#include "DSPHALImpl/DSPBlocks.h"

#include <stdexcept>

#include "qvapal/status/tStatus.h"
#include "qvisl/FifoFpgaHw.h"

namespace dsphal {

CalInDSPSession::CalInDSPSession(std::shared_ptr<sdihal::iInterfaceProxy_calindsp> proxy,
                                 std::unique_ptr<qvisl::Fifo<int64_t>> fifo)
    : proxy_(std::move(proxy)), fifo_(std::move(fifo)) {
    // Measurements are read straight from the FPGA: another kind of FIFO
    // would hand out samples of another layout.
    if (dynamic_cast<qvisl::FifoFpgaHw<int64_t>*>(fifo_.get()) == nullptr) {
        throw std::runtime_error("Bad FIFO format");
    }
}

CalOutDSPSession::CalOutDSPSession(std::shared_ptr<sdihal::iInterfaceProxy_caloutdsp> proxy)
    : proxy_(std::move(proxy)) {
    uint16_t traits = 0;
    nQVAPALS100::tStatus status;
    if (proxy_) proxy_->getTraits(&traits, status);
    if (!proxy_ || status.isError() || traits == 0) {
        throw std::runtime_error("the FPGA does not have Cal Out DSP");
    }
}

}  // namespace dsphal
