// The trigger session: programs triggers, markers, RF blanking and trigger
// delays, asserts software triggers and computes holdoff settings; each
// operation is one request of the kernel driver's trigger sub-interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "FixedPoint/FixedPoint.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"

namespace trighal {

// Passed to the kernel driver unchanged (its first 20 bytes, as the
// request carries them).
struct TriggerSettings {
    uint64_t first;
    uint64_t second;
    uint32_t third;
};
static_assert(sizeof(TriggerSettings) == 24);

struct MarkerBehavior {
    uint64_t value;
};

// Times in seconds, rate in ticks per second.
struct HoldoffRequest {
    double firstHoldoff;
    double secondHoldoff;
    double firstMinimum;
    double secondMinimum;
    double tickRate;
    bool firstFlag;
    bool secondFlag;
};

// Sent to the kernel driver byte for byte.
struct HoldoffSettings {
    uint64_t firstTicks = 0;
    uint8_t firstEnable = 0;
    uint8_t padding0[7] = {};
    uint64_t secondTicks = 0;
    uint8_t secondEnable = 0;
    uint8_t padding1[7] = {};
};
static_assert(sizeof(HoldoffSettings) == 32);
static_assert(offsetof(HoldoffSettings, firstEnable) == 8);
static_assert(offsetof(HoldoffSettings, secondTicks) == 16);
static_assert(offsetof(HoldoffSettings, secondEnable) == 24);

class TrigHALInterface {
public:
    virtual ~TrigHALInterface() = default;
    virtual int32_t getTriggerID(const char* name) = 0;
    virtual void programTrigger(uint32_t triggerId, const TriggerSettings& settings) = 0;
    virtual void programExportPulseWidth(uint32_t signalId, uint16_t width) = 0;
    virtual void programMarkerBehavior(uint32_t markerId, const MarkerBehavior& settings) = 0;
    virtual void programRFBlankingMarkerMask(uint8_t mask) = 0;
    virtual void programRFBlankingMarkerOffsetInDACSamples(double offset) = 0;
    virtual void programRFUnblankingMarkerOffsetInDACSamples(double offset) = 0;
    virtual void programRFBlankingDelayInDataClockTicks(uint16_t ticks) = 0;
    virtual void programTriggerDelay(uint32_t triggerId, uint64_t delay) = 0;
    virtual void sendSoftwareTrigger(uint32_t triggerId) = 0;
    virtual void programAdditionalGroupDelay(uint32_t value, uint8_t flag) = 0;
    virtual void programBypassTriggerTimestampRecovery(uint32_t triggerId, uint8_t bypass) = 0;
    virtual void programSettledGatesReadyForAdvance(bool enable) = 0;
    virtual HoldoffSettings* computeHoldoffSettings(const HoldoffRequest& in,
                                                    HoldoffRequest& out) = 0;
    virtual void destroyHoldoffSettings(HoldoffSettings* settings) = 0;
    virtual void applyHoldoffSettings(const HoldoffSettings* settings) = 0;
};

class TrigHALSession : public TrigHALInterface {
public:
    explicit TrigHALSession(std::shared_ptr<sdihal::iInterfaceProxy_trig> proxy);
    ~TrigHALSession() override;

    int32_t getTriggerID(const char* name) override;
    void programTrigger(uint32_t triggerId, const TriggerSettings& settings) override;
    void programExportPulseWidth(uint32_t signalId, uint16_t width) override;
    void programMarkerBehavior(uint32_t markerId, const MarkerBehavior& settings) override;
    void programRFBlankingMarkerMask(uint8_t mask) override;
    void programRFBlankingMarkerOffsetInDACSamples(double offset) override;
    void programRFUnblankingMarkerOffsetInDACSamples(double offset) override;
    void programRFBlankingDelayInDataClockTicks(uint16_t ticks) override;
    void programTriggerDelay(uint32_t triggerId, uint64_t delay) override;
    void sendSoftwareTrigger(uint32_t triggerId) override;
    void programAdditionalGroupDelay(uint32_t value, uint8_t flag) override;
    void programBypassTriggerTimestampRecovery(uint32_t triggerId, uint8_t bypass) override;
    void programSettledGatesReadyForAdvance(bool enable) override;
    // Holdoff times raised to their minimum and rounded up to whole ticks;
    // `out` receives the times the hardware will apply. Negative or NaN
    // times, a rate that is not positive and finite, and tick counts that
    // don't fit 64 bits throw -52005.
    HoldoffSettings* computeHoldoffSettings(const HoldoffRequest& in, HoldoffRequest& out) override;
    void destroyHoldoffSettings(HoldoffSettings* settings) override;
    void applyHoldoffSettings(const HoldoffSettings* settings) override;

private:
    void readBlankingFormats();

    std::shared_ptr<sdihal::iInterfaceProxy_trig> proxy_;
    bool blankingFormatsRead_ = false;
    bool pulseWidthFormatRead_ = false;
    bool holdoffRevisionRead_ = false;
    sdihal::tFixedPointFormat blankingMarkerOffsetFormat_;
    sdihal::tFixedPointFormat unblankingMarkerOffsetFormat_;
    sdihal::tFixedPointFormat exportPulseWidthFormat_;
    uint32_t holdoffRevision_ = 1;
};

}  // namespace trighal
