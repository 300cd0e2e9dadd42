// Synchronization of several modules on the shared trigger clock (Syntra):
// configures the module's divisor and trigger synchronization, emits sync
// pulses, applies delay adjustments and measures where the module's Syntra
// edge lies, in seconds, with the computer that fits the module's way of
// measuring. The object behind the syntrasync_ exports.
#pragma once

#include <cstdint>
#include <memory>

#include "SyntraSyncHALImpl/MeasurementComputers.h"
#include "SyntraSyncHALImpl/SyntraSyncControlProxy.h"

namespace syntrasynchal {

// How the driver says the module measures.
enum MeasurementType : uint32_t { kFTDC = 0, kPulseInjection = 1, kPulseStretcher = 2 };

class SyntraSyncSession {
public:
    // Takes ownership of `control`, also when construction throws.
    explicit SyntraSyncSession(SyntraSyncControlInterface* control);
    virtual ~SyntraSyncSession();
    SyntraSyncSession(const SyntraSyncSession&) = delete;
    SyntraSyncSession& operator=(const SyntraSyncSession&) = delete;

    void configureSyntra(uint32_t first, uint32_t second);
    // Sends values[0 .. count - 1] by index; the first failure stops it.
    void configureTriggerSynchronization(uint64_t count, const uint32_t* values);
    void enableSyntraMeasurement();
    void disableSyntraMeasurement();
    void sendSyncPulse();
    void readSyntraMeasurement(uint32_t measurementArgument, double* syncMeasurementInSeconds,
                               double syntraPeriod);
    void applyMediumAdjustment(uint32_t amount);
    void applyCoarseAdjustment(uint32_t first, uint32_t second);
    void calibrateTDC();
    void setConverterDelayInSeconds(double seconds) { _converterDelayInSeconds = seconds; }

    uint32_t measurementType() const { return _measurementType; }

private:
    std::unique_ptr<SyntraSyncControlInterface> _control;
    uint32_t _measurementType = 0;
    std::unique_ptr<qvftdc::FTDCMeasurementComputer> _ftdcComputer;
    std::unique_ptr<PulseInjectionMeasurementComputer> _pulseInjectionComputer;
    std::unique_ptr<PulseStretcherMeasurementComputer> _pulseStretcherComputer;
    uint32_t _syntraDivisor = 0;
    double _converterDelayInSeconds = 0.0;
};

}  // namespace syntrasynchal
