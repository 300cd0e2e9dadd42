#include "module/SyntraSyncBlock.h"

#include <cstring>

#include "module/Replies.h"

namespace qvsim {
namespace {

// The caller's memory at an address a request carries (the driver runs in
// the caller's process).
template <class T>
T* at(uint64_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

}  // namespace

SyntraSyncBlock::SyntraSyncBlock(GuardedDecoder& decoder) {
    decoder.on("syntrasync.getMeasurementType", [this](const DecodedRequest&, Reply& reply) {
        reply.set("return", measurementType);
        return 0;
    });
    decoder.on("syntrasync.readFTDCConfiguration", [this](const DecodedRequest& request, Reply&) {
        auto* record = at<uint8_t>(request.get<uint64_t>("configuration"));
        uint32_t size = 0;
        std::memcpy(&size, record, sizeof size);
        if (size < 48) return 22;  // EINVAL: a record too small for the reply
        const auto& c = ftdcConfiguration;
        std::memcpy(record + 8, &c.valid, 4);
        std::memset(record + 12, 0, 4);
        std::memcpy(record + 16, &c.startClockDelayCycles, 8);
        const uint32_t words[] = {c.mclkMultiplier,
                                  c.mclkDivisor,
                                  c.mclkTimebaseRateNumerator,
                                  c.mclkTimebaseRateDenominator,
                                  c.startClockRateNumerator,
                                  c.startClockRateDenominator};
        std::memcpy(record + 24, words, sizeof words);
        return 0;
    });
    decoder.on("syntrasync.readFTDCMeasurement", [this](const DecodedRequest&, Reply& reply) {
        reply.setAs("start", ftdcStart);
        reply.setAs("stop", ftdcStop);
        reply.set("coarseCount", ftdcCoarseCount);
        return 0;
    });
    decoder.on("syntrasync.getPulseInjectionSampleCount",
               [this](const DecodedRequest&, Reply& reply) {
                   reply.set("return", static_cast<uint32_t>(pulseInjectionSamples.size()));
                   return 0;
               });
    decoder.on("syntrasync.readPulseInjectionSamples",
               [this](const DecodedRequest& request, Reply& reply) {
                   const auto count = static_cast<size_t>(request.value("count"));
                   auto* buffer = at<uint32_t>(request.get<uint64_t>("buffer"));
                   const size_t n =
                       count < pulseInjectionSamples.size() ? count : pulseInjectionSamples.size();
                   if (n > 0)
                       std::memcpy(buffer, pulseInjectionSamples.data(), n * sizeof(uint32_t));
                   reply.set("arg3", pulseInjectionFirst);
                   reply.set("arg4", pulseInjectionSecond);
                   return 0;
               });
    decoder.on("syntrasync.readPulseStretcherMeasurement",
               [this](const DecodedRequest&, Reply& reply) {
                   reply.set("arg1", pulseStretcherReading[0]);
                   reply.set("arg2", pulseStretcherReading[1]);
                   reply.set("arg3", pulseStretcherReading[2]);
                   return 0;
               });
    decoder.on("syntrasync.runPulseStretcherCalibration",
               [this](const DecodedRequest& request, Reply&) {
                   const auto count = static_cast<uint32_t>(request.value("count"));
                   const auto* settings = at<const uint8_t>(request.get<uint64_t>("settings"));
                   auto* counts = at<uint64_t>(request.get<uint64_t>("counts"));
                   lastCalibrationSettings.assign(settings, settings + count);
                   for (uint32_t i = 0; i < count; ++i)
                       counts[i] = calibrationCount(i, settings[i]);
                   return 0;
               });
    decoder.on("syntrasync.configureSyntra", [this](const DecodedRequest& request, Reply&) {
        syntraFirst = static_cast<uint32_t>(request.value("arg1"));
        syntraSecond = static_cast<uint32_t>(request.value("arg2"));
        return 0;
    });
    decoder.on("syntrasync.configureTriggerSynchronization",
               [this](const DecodedRequest& request, Reply&) {
                   const auto index = static_cast<size_t>(request.value("index"));
                   if (triggerSynchronization.size() <= index)
                       triggerSynchronization.resize(index + 1);
                   triggerSynchronization[index] = static_cast<uint32_t>(request.value("value"));
                   return 0;
               });
    decoder.on("syntrasync.applyCoarseAdjustment", [this](const DecodedRequest& request, Reply&) {
        coarseFirst = static_cast<uint32_t>(request.value("arg1"));
        coarseSecond = static_cast<uint32_t>(request.value("arg2"));
        return 0;
    });
    decoder.on("syntrasync.applyMediumAdjustment", [this](const DecodedRequest& request, Reply&) {
        mediumAmount = static_cast<uint32_t>(request.value("arg1"));
        return 0;
    });
    decoder.on("syntrasync.sendSyncPulse", [this](const DecodedRequest&, Reply&) {
        ++syncPulses;
        return 0;
    });
    decoder.on("syntrasync.enableSyntraMeasurement", [this](const DecodedRequest&, Reply&) {
        measurementEnabled = true;
        return 0;
    });
    decoder.on("syntrasync.disableSyntraMeasurement", [this](const DecodedRequest&, Reply&) {
        measurementEnabled = false;
        return 0;
    });
}

}  // namespace qvsim
