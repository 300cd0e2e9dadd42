// The I/Q front-end configuration as the device session creates it: its
// sub-interface and the FPGA interrupt context it owns (none without an
// FPGA session). Its operations are not part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "HALUtilities/ErrorHandling.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"
#include "qvisl/Fifo.h"

namespace IQConfigV1 {

class IQConfigV1ProxyWrapper {
public:
    IQConfigV1ProxyWrapper(uint32_t instance,
                           std::shared_ptr<sdihal::iInterfaceProxy_IQConfigV1> proxy,
                           std::unique_ptr<qvisl::IRQContext> irqContext)
        : instance_(instance), proxy_(std::move(proxy)), irqContext_(std::move(irqContext)) {
        if (!proxy_) qv3377hal::throwNullArgument();
    }
    IQConfigV1ProxyWrapper(const IQConfigV1ProxyWrapper&) = delete;
    IQConfigV1ProxyWrapper& operator=(const IQConfigV1ProxyWrapper&) = delete;

    uint32_t instance() const { return instance_; }
    qvisl::IRQContext* irqContext() const { return irqContext_.get(); }

private:
    uint32_t instance_;
    std::shared_ptr<sdihal::iInterfaceProxy_IQConfigV1> proxy_;
    std::unique_ptr<qvisl::IRQContext> irqContext_;
};

}  // namespace IQConfigV1
