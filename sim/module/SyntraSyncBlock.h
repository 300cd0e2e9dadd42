// The module's trigger-clock synchronization block: how it measures, its
// converter configuration, the readings a test scripts, and what the
// configuration and adjustment requests left in it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "FixedPoint/FixedPoint.h"

namespace qvsim {

class GuardedDecoder;

class SyntraSyncBlock {
public:
    explicit SyntraSyncBlock(GuardedDecoder& decoder);

    // 0 fine time-to-digital converter, 1 pulse injection, 2 pulse stretcher.
    uint32_t measurementType = 0;

    // The converter configuration the driver fills in (bytes 8 to 47 of the
    // record; the caller's size and version stay).
    struct FTDCConfiguration {
        uint32_t valid = 0;
        uint64_t startClockDelayCycles = 0;
        uint32_t mclkMultiplier = 0;
        uint32_t mclkDivisor = 0;
        uint32_t mclkTimebaseRateNumerator = 0;
        uint32_t mclkTimebaseRateDenominator = 0;
        uint32_t startClockRateNumerator = 0;
        uint32_t startClockRateDenominator = 0;
    } ftdcConfiguration;

    // Converter reading: fine start and stop counts and the coarse count.
    sdihal::tFixedPointValue ftdcStart;
    sdihal::tFixedPointValue ftdcStop;
    uint64_t ftdcCoarseCount = 0;

    // Pulse injection: the raw samples and the two step counts.
    std::vector<uint32_t> pulseInjectionSamples;
    uint32_t pulseInjectionFirst = 0;
    uint32_t pulseInjectionSecond = 0;

    // Pulse stretcher: a reading, and the stretched count of each
    // calibration reading (index, setting 1 to 7).
    uint64_t pulseStretcherReading[3] = {};
    std::function<uint64_t(uint32_t index, uint8_t setting)> calibrationCount =
        [](uint32_t, uint8_t setting) { return uint64_t{12} * setting + 3; };
    std::vector<uint8_t> lastCalibrationSettings;

    // Left by the configuration and adjustment requests.
    uint32_t syntraFirst = 0;
    uint32_t syntraSecond = 0;
    std::vector<uint32_t> triggerSynchronization;
    uint32_t coarseFirst = 0;
    uint32_t coarseSecond = 0;
    uint32_t mediumAmount = 0;
    uint32_t syncPulses = 0;
    bool measurementEnabled = false;
};

}  // namespace qvsim
