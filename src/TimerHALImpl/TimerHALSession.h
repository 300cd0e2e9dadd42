// The timer session: deploys the FPGA timer's settings and sends it
// messages, when the FPGA image carries the timer (asked once, at
// construction).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FixedPoint/FixedPoint.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace timerhal {

// Passed to the kernel driver unchanged.
struct TimerSettings {
    sdihal::tFixedPointValue first;
    sdihal::tFixedPointValue second;
    uint16_t count;
    uint8_t flag;
};
static_assert(offsetof(TimerSettings, second) == 16);
static_assert(offsetof(TimerSettings, count) == 32);
static_assert(offsetof(TimerSettings, flag) == 34);
static_assert(sizeof(TimerSettings) == 40);

class TimerHALInterface {
public:
    virtual ~TimerHALInterface() = default;
    virtual bool getTraits() = 0;
    virtual void deployTimerSettings(const TimerSettings& settings) = 0;
    virtual void sendMessage(uint32_t message) = 0;
};

class TimerHALSession : public TimerHALInterface {
public:
    // Asks the driver whether the timer is present; its failure is thrown.
    explicit TimerHALSession(std::shared_ptr<sdihal::iInterfaceProxy_timer> proxy);
    ~TimerHALSession() override;

    bool getTraits() override { return hasTimerResource_; }
    // Both throw -1074100464 without a request when the timer is absent.
    void deployTimerSettings(const TimerSettings& settings) override;
    void sendMessage(uint32_t message) override;

private:
    void requireTimer() const;

    std::shared_ptr<sdihal::iInterfaceProxy_timer> proxy_;
    bool hasTimerResource_ = false;
};

}  // namespace timerhal
