#include "TrigHALImpl/trighalHandle.h"

using qv3377hal::checkNotNull;
using qv3377hal::returnCodeCall;
using trighal::sessionPtrFromHandle;

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(trig, trighal)

// Pointer checks come before the handle check.

QV_EXPORT int32_t trig_getTriggerID(uint64_t handle, const char* name, int32_t* idOut) {
    return returnCodeCall([&] {
        checkNotNull(idOut);
        const int32_t id = sessionPtrFromHandle(handle)->getTriggerID(name);
        *idOut = id;
    });
}

QV_EXPORT int32_t trig_programTrigger(uint64_t handle, uint32_t triggerId,
                                      const trighal::TriggerSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->programTrigger(triggerId, *settings);
    });
}

QV_EXPORT int32_t trig_programExportPulseWidth(uint64_t handle, uint32_t signalId, uint16_t width) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programExportPulseWidth(signalId, width); });
}

QV_EXPORT int32_t trig_programMarkerBehavior(uint64_t handle, uint32_t markerId,
                                             const trighal::MarkerBehavior* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->programMarkerBehavior(markerId, *settings);
    });
}

QV_EXPORT int32_t trig_programRFBlankingMarkerMask(uint64_t handle, uint8_t mask) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->programRFBlankingMarkerMask(mask); });
}

QV_EXPORT int32_t trig_programRFBlankingMarkerOffsetInDACSamples(uint64_t handle, double offset) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programRFBlankingMarkerOffsetInDACSamples(offset); });
}

QV_EXPORT int32_t trig_programRFUnblankingMarkerOffsetInDACSamples(uint64_t handle, double offset) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programRFUnblankingMarkerOffsetInDACSamples(offset); });
}

QV_EXPORT int32_t trig_programRFBlankingDelayInDataClockTicks(uint64_t handle, uint16_t ticks) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programRFBlankingDelayInDataClockTicks(ticks); });
}

QV_EXPORT int32_t trig_programTriggerDelay(uint64_t handle, uint32_t triggerId, uint64_t delay) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programTriggerDelay(triggerId, delay); });
}

QV_EXPORT int32_t trig_sendSoftwareTrigger(uint64_t handle, uint32_t triggerId) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->sendSoftwareTrigger(triggerId); });
}

QV_EXPORT int32_t trig_programAdditionalGroupDelay(uint64_t handle, uint32_t value, uint8_t flag) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programAdditionalGroupDelay(value, flag); });
}

QV_EXPORT int32_t trig_programBypassTriggerTimestampRecovery(uint64_t handle, uint32_t triggerId,
                                                             uint8_t bypass) {
    return returnCodeCall([&] {
        sessionPtrFromHandle(handle)->programBypassTriggerTimestampRecovery(triggerId, bypass);
    });
}

QV_EXPORT int32_t trig_programSettledGatesReadyForAdvance(uint64_t handle, int32_t enable) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programSettledGatesReadyForAdvance(enable != 0); });
}

QV_EXPORT int32_t trig_computeHoldoffSettings(uint64_t handle, const trighal::HoldoffRequest* in,
                                              trighal::HoldoffRequest* out,
                                              trighal::HoldoffSettings** result) {
    return returnCodeCall([&] {
        checkNotNull(in, out, result);
        *result = sessionPtrFromHandle(handle)->computeHoldoffSettings(*in, *out);
    });
}

QV_EXPORT int32_t trig_applyHoldoffSettings(uint64_t handle,
                                            const trighal::HoldoffSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->applyHoldoffSettings(settings);
    });
}

QV_EXPORT int32_t trig_destroyHoldoffSettings(uint64_t handle, trighal::HoldoffSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->destroyHoldoffSettings(settings);
    });
}
