#include "TimerHALImpl/TimerHALSession.h"

#include <utility>

#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "qvmxl/errors.h"

namespace timerhal {

using nQVAPALS100::tStatus;
using qv3377hal::driverRequest;

TimerHALSession::TimerHALSession(std::shared_ptr<sdihal::iInterfaceProxy_timer> proxy)
    : proxy_(std::move(proxy)) {
    uint8_t present = 0;
    driverRequest([&](tStatus& status) { proxy_->readTimerResourcePresence(&present, status); });
    hasTimerResource_ = present != 0;
}

TimerHALSession::~TimerHALSession() = default;

void TimerHALSession::requireTimer() const {
    if (!hasTimerResource_) {  // the location only: callers get no detail here
        QVERR_THROW(qv3377hal::kComponent, SDISharedErrors::kErrorFpgaResourceNotFound,
                    "SDISharedErrors::kErrorFpgaResourceNotFound");
    }
}

void TimerHALSession::deployTimerSettings(const TimerSettings& settings) {
    requireTimer();
    const auto record = sdihal::tRecord<40>::from(settings);
    driverRequest([&](tStatus& status) { proxy_->deployTimerSettings(record, status); });
}

void TimerHALSession::sendMessage(uint32_t message) {
    requireTimer();
    driverRequest([&](tStatus& status) { proxy_->sendMessage(message, status); });
}

}  // namespace timerhal
