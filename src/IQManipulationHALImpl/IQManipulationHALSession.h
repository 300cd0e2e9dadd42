// The I/Q manipulation block as the device session creates it. Its
// operations are not part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace iqmaniphal {

class IQManipulationHALSession {
public:
    // instance: 0 for an acquisition session, 1 otherwise.
    IQManipulationHALSession(std::shared_ptr<sdihal::iInterfaceProxy_iqmanip> proxy,
                             uint32_t instance)
        : proxy_(std::move(proxy)), instance_(instance) {}
    IQManipulationHALSession(const IQManipulationHALSession&) = delete;
    IQManipulationHALSession& operator=(const IQManipulationHALSession&) = delete;
    uint32_t instance() const { return instance_; }

private:
    std::shared_ptr<sdihal::iInterfaceProxy_iqmanip> proxy_;
    uint32_t instance_;
};

}  // namespace iqmaniphal
