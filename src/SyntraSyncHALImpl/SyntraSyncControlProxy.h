// The Syntra synchronization session's hardware requests, each forwarded to
// the kernel driver's trigger-clock synchronization sub-interface. A request
// given a status that already holds an error is skipped.
#pragma once

#include <cstdint>
#include <memory>

#include "FixedPoint/FixedPoint.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"
#include "qvapal/status/tStatus.h"

namespace syntrasynchal {

// Filled by the driver for a module that measures with the fine
// time-to-digital converter.
struct FTDCConfiguration {
    uint32_t size = 48;
    uint32_t version = 1;
    // 0: the built-in defaults apply.
    uint32_t valid = 0;
    uint32_t reserved = 0;
    uint64_t startClockDelayCycles = 0;
    uint32_t mclkMultiplier = 0;
    uint32_t mclkDivisor = 0;
    uint32_t mclkTimebaseRateNumerator = 0;
    uint32_t mclkTimebaseRateDenominator = 0;
    uint32_t startClockRateNumerator = 0;
    uint32_t startClockRateDenominator = 0;
};
static_assert(sizeof(FTDCConfiguration) == 48);

class SyntraSyncControlInterface {
public:
    virtual ~SyntraSyncControlInterface() = default;
    virtual void configureSyntra(uint32_t first, uint32_t second, nQVAPALS100::tStatus& status) = 0;
    virtual void configureTriggerSynchronization(uint32_t index, const uint32_t* value,
                                                 nQVAPALS100::tStatus& status) = 0;
    virtual void enableSyntraMeasurement(nQVAPALS100::tStatus& status) = 0;
    virtual void disableSyntraMeasurement(nQVAPALS100::tStatus& status) = 0;
    virtual void sendSyncPulse(nQVAPALS100::tStatus& status) = 0;
    virtual void readFTDCMeasurement(uint32_t measurementArgument, sdihal::tFixedPointValue& start,
                                     sdihal::tFixedPointValue& stop, uint64_t& coarseCount,
                                     nQVAPALS100::tStatus& status) = 0;
    virtual void applyCoarseAdjustment(uint32_t first, uint32_t second,
                                       nQVAPALS100::tStatus& status) = 0;
    virtual void applyMediumAdjustment(uint32_t amount, nQVAPALS100::tStatus& status) = 0;
    virtual void readFTDCConfiguration(uint64_t recordAddress, nQVAPALS100::tStatus& status) = 0;
    // 4 when skipped.
    virtual uint32_t getMeasurementType(nQVAPALS100::tStatus& status) = 0;
    // 0 when skipped.
    virtual uint32_t getPulseInjectionSampleCount(nQVAPALS100::tStatus& status) = 0;
    virtual void readPulseInjectionSamples(uint64_t bufferAddress, uint32_t count, uint32_t& first,
                                           uint32_t& second, nQVAPALS100::tStatus& status) = 0;
    virtual void readPulseStretcherMeasurement(uint64_t& first, uint64_t& second, uint64_t& third,
                                               nQVAPALS100::tStatus& status) = 0;
    virtual void runPulseStretcherCalibration(uint64_t settingsAddress, uint64_t countsAddress,
                                              uint32_t count, nQVAPALS100::tStatus& status) = 0;
};

class SyntraSyncControlProxy final : public SyntraSyncControlInterface {
public:
    // Shares the sub-interface; without one every request fails with -52006.
    explicit SyntraSyncControlProxy(std::shared_ptr<sdihal::iInterfaceProxy_syntrasync> proxy)
        : proxy_(std::move(proxy)) {}

    void configureSyntra(uint32_t first, uint32_t second, nQVAPALS100::tStatus& status) override;
    void configureTriggerSynchronization(uint32_t index, const uint32_t* value,
                                         nQVAPALS100::tStatus& status) override;
    void enableSyntraMeasurement(nQVAPALS100::tStatus& status) override;
    void disableSyntraMeasurement(nQVAPALS100::tStatus& status) override;
    void sendSyncPulse(nQVAPALS100::tStatus& status) override;
    void readFTDCMeasurement(uint32_t measurementArgument, sdihal::tFixedPointValue& start,
                             sdihal::tFixedPointValue& stop, uint64_t& coarseCount,
                             nQVAPALS100::tStatus& status) override;
    void applyCoarseAdjustment(uint32_t first, uint32_t second,
                               nQVAPALS100::tStatus& status) override;
    void applyMediumAdjustment(uint32_t amount, nQVAPALS100::tStatus& status) override;
    void readFTDCConfiguration(uint64_t recordAddress, nQVAPALS100::tStatus& status) override;
    uint32_t getMeasurementType(nQVAPALS100::tStatus& status) override;
    uint32_t getPulseInjectionSampleCount(nQVAPALS100::tStatus& status) override;
    void readPulseInjectionSamples(uint64_t bufferAddress, uint32_t count, uint32_t& first,
                                   uint32_t& second, nQVAPALS100::tStatus& status) override;
    void readPulseStretcherMeasurement(uint64_t& first, uint64_t& second, uint64_t& third,
                                       nQVAPALS100::tStatus& status) override;
    void runPulseStretcherCalibration(uint64_t settingsAddress, uint64_t countsAddress,
                                      uint32_t count, nQVAPALS100::tStatus& status) override;

private:
    // The sub-interface to send to, or null (the status then says why).
    sdihal::iInterfaceProxy_syntrasync* target(nQVAPALS100::tStatus& status, uint64_t line);

    std::shared_ptr<sdihal::iInterfaceProxy_syntrasync> proxy_;
};

}  // namespace syntrasynchal
