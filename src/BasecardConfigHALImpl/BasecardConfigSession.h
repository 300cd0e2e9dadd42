// The base-card configuration as the device session creates it. Its
// operations are not part of this library.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "HALUtilities/ErrorHandling.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace BasecardConfigV1 {

class BasecardConfigSession {
public:
    BasecardConfigSession(uint32_t instance,
                          std::shared_ptr<sdihal::iInterfaceProxy_BasecardConfigV1> proxy)
        : instance_(instance), proxy_(std::move(proxy)) {
        if (!proxy_) qv3377hal::throwNullArgument();
    }
    BasecardConfigSession(const BasecardConfigSession&) = delete;
    BasecardConfigSession& operator=(const BasecardConfigSession&) = delete;
    uint32_t instance() const { return instance_; }

private:
    uint32_t instance_;
    std::shared_ptr<sdihal::iInterfaceProxy_BasecardConfigV1> proxy_;
};

}  // namespace BasecardConfigV1
