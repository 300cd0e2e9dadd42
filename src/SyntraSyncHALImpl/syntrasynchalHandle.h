// The syntrasync_ family: the SyntraSyncSession that device_getContext hands
// out for context 19 is the handle; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace syntrasynchal {
class SyntraSyncSession;
}

QV_CONTEXT_HANDLE_HOOKS(syntrasynchal, ::syntrasynchal::SyntraSyncSession, syntraSyncContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(syntrasync)

QV_EXPORT int32_t syntrasync_configureSyntra(uint64_t handle, uint32_t first, uint32_t second);
QV_EXPORT int32_t syntrasync_configureTriggerSynchronization(uint64_t handle, uint64_t count,
                                                             const uint32_t* values);
QV_EXPORT int32_t syntrasync_enableSyntraMeasurement(uint64_t handle);
QV_EXPORT int32_t syntrasync_disableSyntraMeasurement(uint64_t handle);
QV_EXPORT int32_t syntrasync_sendSyncPulse(uint64_t handle);
QV_EXPORT int32_t syntrasync_readSyntraMeasurement(uint64_t handle, uint32_t measurementArgument,
                                                   double* syncMeasurementInSeconds,
                                                   double syntraPeriod);
// Not supported by this module: -52002, whatever it is given.
QV_EXPORT int32_t syntrasync_applyFineAdjustment(uint64_t handle, uint32_t amount);
QV_EXPORT int32_t syntrasync_applyMediumAdjustment(uint64_t handle, uint32_t amount);
QV_EXPORT int32_t syntrasync_applyCoarseAdjustment(uint64_t handle, uint32_t first,
                                                   uint32_t second);
QV_EXPORT int32_t syntrasync_calibrateTDC(uint64_t handle);
QV_EXPORT int32_t syntrasync_setConverterDelayInSeconds(uint64_t handle, double seconds);
