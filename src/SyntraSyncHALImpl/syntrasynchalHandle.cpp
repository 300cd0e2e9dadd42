#include "SyntraSyncHALImpl/syntrasynchalHandle.h"

#include "SyntraSyncHALImpl/SyntraSyncSession.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(syntrasync, syntrasynchal)

namespace {

template <class Body>
int32_t withSession(uint64_t handle, Body&& body) noexcept {
    return qv3377hal::returnCodeCall([&] { body(*syntrasynchal::sessionPtrFromHandle(handle)); });
}

}  // namespace

QV_EXPORT int32_t syntrasync_configureSyntra(uint64_t handle, uint32_t first, uint32_t second) {
    return withSession(
        handle, [&](syntrasynchal::SyntraSyncSession& s) { s.configureSyntra(first, second); });
}

QV_EXPORT int32_t syntrasync_configureTriggerSynchronization(uint64_t handle, uint64_t count,
                                                             const uint32_t* values) {
    return withSession(handle, [&](syntrasynchal::SyntraSyncSession& s) {
        s.configureTriggerSynchronization(count, values);
    });
}

QV_EXPORT int32_t syntrasync_enableSyntraMeasurement(uint64_t handle) {
    return withSession(handle,
                       [](syntrasynchal::SyntraSyncSession& s) { s.enableSyntraMeasurement(); });
}

QV_EXPORT int32_t syntrasync_disableSyntraMeasurement(uint64_t handle) {
    return withSession(handle,
                       [](syntrasynchal::SyntraSyncSession& s) { s.disableSyntraMeasurement(); });
}

QV_EXPORT int32_t syntrasync_sendSyncPulse(uint64_t handle) {
    return withSession(handle, [](syntrasynchal::SyntraSyncSession& s) { s.sendSyncPulse(); });
}

QV_EXPORT int32_t syntrasync_readSyntraMeasurement(uint64_t handle, uint32_t measurementArgument,
                                                   double* syncMeasurementInSeconds,
                                                   double syntraPeriod) {
    return withSession(handle, [&](syntrasynchal::SyntraSyncSession& s) {
        s.readSyntraMeasurement(measurementArgument, syncMeasurementInSeconds, syntraPeriod);
    });
}

QV_EXPORT int32_t syntrasync_applyFineAdjustment(uint64_t /*handle*/, uint32_t /*amount*/) {
    return qverr::qvapalerr_featureUnsupported;
}

QV_EXPORT int32_t syntrasync_applyMediumAdjustment(uint64_t handle, uint32_t amount) {
    return withSession(
        handle, [&](syntrasynchal::SyntraSyncSession& s) { s.applyMediumAdjustment(amount); });
}

QV_EXPORT int32_t syntrasync_applyCoarseAdjustment(uint64_t handle, uint32_t first,
                                                   uint32_t second) {
    return withSession(handle, [&](syntrasynchal::SyntraSyncSession& s) {
        s.applyCoarseAdjustment(first, second);
    });
}

QV_EXPORT int32_t syntrasync_calibrateTDC(uint64_t handle) {
    return withSession(handle, [](syntrasynchal::SyntraSyncSession& s) { s.calibrateTDC(); });
}

QV_EXPORT int32_t syntrasync_setConverterDelayInSeconds(uint64_t handle, double seconds) {
    return withSession(handle, [&](syntrasynchal::SyntraSyncSession& s) {
        s.setConverterDelayInSeconds(seconds);
    });
}
