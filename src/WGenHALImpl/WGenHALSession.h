// The waveform-generation session as the device session creates it: the
// FPGA session it generates from and the generation sub-interface. The
// generation operations (wgen_*) are not part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace wgenhal {

class WGenHALSession {
public:
    WGenHALSession(uint32_t fpgaSession, std::shared_ptr<sdihal::iInterfaceProxy_wgen> proxy,
                   uint32_t instance)
        : fpgaSession_(fpgaSession), proxy_(std::move(proxy)), instance_(instance) {}
    WGenHALSession(const WGenHALSession&) = delete;
    WGenHALSession& operator=(const WGenHALSession&) = delete;
    uint32_t fpgaSession() const { return fpgaSession_; }
    uint32_t instance() const { return instance_; }

private:
    uint32_t fpgaSession_;
    std::shared_ptr<sdihal::iInterfaceProxy_wgen> proxy_;
    uint32_t instance_;
};

}  // namespace wgenhal
