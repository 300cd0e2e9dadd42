// The trig_ family: the TrigHALSession that device_getContext hands out for
// context 10; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"
#include "TrigHALImpl/TrigHALSession.h"

QV_CONTEXT_HANDLE_HOOKS(trighal, ::trighal::TrigHALSession, trigContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(trig)

QV_EXPORT int32_t trig_getTriggerID(uint64_t handle, const char* name, int32_t* idOut);
QV_EXPORT int32_t trig_programTrigger(uint64_t handle, uint32_t triggerId,
                                      const trighal::TriggerSettings* settings);
QV_EXPORT int32_t trig_programExportPulseWidth(uint64_t handle, uint32_t signalId, uint16_t width);
QV_EXPORT int32_t trig_programMarkerBehavior(uint64_t handle, uint32_t markerId,
                                             const trighal::MarkerBehavior* settings);
QV_EXPORT int32_t trig_programRFBlankingMarkerMask(uint64_t handle, uint8_t mask);
QV_EXPORT int32_t trig_programRFBlankingMarkerOffsetInDACSamples(uint64_t handle, double offset);
QV_EXPORT int32_t trig_programRFUnblankingMarkerOffsetInDACSamples(uint64_t handle, double offset);
QV_EXPORT int32_t trig_programRFBlankingDelayInDataClockTicks(uint64_t handle, uint16_t ticks);
QV_EXPORT int32_t trig_programTriggerDelay(uint64_t handle, uint32_t triggerId, uint64_t delay);
QV_EXPORT int32_t trig_sendSoftwareTrigger(uint64_t handle, uint32_t triggerId);
QV_EXPORT int32_t trig_programAdditionalGroupDelay(uint64_t handle, uint32_t value, uint8_t flag);
QV_EXPORT int32_t trig_programBypassTriggerTimestampRecovery(uint64_t handle, uint32_t triggerId,
                                                             uint8_t bypass);
QV_EXPORT int32_t trig_programSettledGatesReadyForAdvance(uint64_t handle, int32_t enable);
QV_EXPORT int32_t trig_computeHoldoffSettings(uint64_t handle, const trighal::HoldoffRequest* in,
                                              trighal::HoldoffRequest* out,
                                              trighal::HoldoffSettings** result);
QV_EXPORT int32_t trig_applyHoldoffSettings(uint64_t handle,
                                            const trighal::HoldoffSettings* settings);
QV_EXPORT int32_t trig_destroyHoldoffSettings(uint64_t handle, trighal::HoldoffSettings* settings);
