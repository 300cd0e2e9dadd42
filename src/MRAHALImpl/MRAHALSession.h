// The record-acquisition session as the device session creates it: the FPGA
// session it acquires from and the record-acquisition sub-interface. The
// acquisition operations (mra_*) are not part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace mrahal {

class MRAHALSession {
public:
    MRAHALSession(uint32_t fpgaSession, uint32_t instance,
                  std::shared_ptr<sdihal::iInterfaceProxy_mra> proxy)
        : fpgaSession_(fpgaSession), instance_(instance), proxy_(std::move(proxy)) {}
    MRAHALSession(const MRAHALSession&) = delete;
    MRAHALSession& operator=(const MRAHALSession&) = delete;
    uint32_t fpgaSession() const { return fpgaSession_; }
    uint32_t instance() const { return instance_; }

private:
    uint32_t fpgaSession_;
    uint32_t instance_;
    std::shared_ptr<sdihal::iInterfaceProxy_mra> proxy_;
};

}  // namespace mrahal
