#include "DataPathHALImpl/datapathhalHandle.h"

using datapathhal::sessionPtrFromHandle;
using qv3377hal::checkNotNull;
using qv3377hal::returnCodeCall;

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE_AT(datapath, datapathhal, "DataPathHALImpl/DataPathHALImpl",
                                         20)

// Every output, record and word pointer is checked (-52005) before the
// handle and before any request: none of them is optional.

QV_EXPORT int32_t datapath_sendMessages(uint64_t handle, const void* messages, uint32_t count) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->sendMessages(messages, count); });
}

QV_EXPORT int32_t datapath_checkStatus(uint64_t handle, datapathhal::DataPathStatus* status) {
    return returnCodeCall([&] {
        checkNotNull(status);
        sessionPtrFromHandle(handle)->checkStatus(status);
    });
}

QV_EXPORT int32_t datapath_checkStatusWithContext(uint64_t handle,
                                                  datapathhal::DataPathStatusWithContext* status) {
    return returnCodeCall([&] {
        checkNotNull(status);
        sessionPtrFromHandle(handle)->checkStatusWithContext(status);
    });
}

QV_EXPORT int32_t datapath_clearStatus(uint64_t handle, const datapathhal::DataPathStatus* status) {
    return returnCodeCall([&] {
        checkNotNull(status);
        sessionPtrFromHandle(handle)->clearStatus(status);
    });
}

QV_EXPORT int32_t datapath_readDSPGroupDelay(uint64_t handle, double* delay) {
    return returnCodeCall([&] {
        checkNotNull(delay);
        sessionPtrFromHandle(handle)->readDSPGroupDelay(delay);
    });
}

QV_EXPORT int32_t datapath_readDSPPipelineDelay(uint64_t handle, uint32_t* delay) {
    return returnCodeCall([&] {
        checkNotNull(delay);
        sessionPtrFromHandle(handle)->readDSPPipelineDelay(delay);
    });
}

QV_EXPORT int32_t datapath_readDataDelayRange(uint64_t handle, uint32_t* minimum,
                                              uint32_t* maximum) {
    return returnCodeCall([&] {
        checkNotNull(minimum, maximum);
        sessionPtrFromHandle(handle)->readDataDelayRange(minimum, maximum);
    });
}

QV_EXPORT int32_t datapath_programDataDelay(uint64_t handle, uint32_t delay) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->programDataDelay(delay); });
}

QV_EXPORT int32_t datapath_programDSPIgnoreOverflow(uint64_t handle, uint32_t flag) {
    return returnCodeCall([&] {
        sessionPtrFromHandle(handle)->programDSPIgnoreOverflow(static_cast<uint8_t>(flag));
    });
}

QV_EXPORT int32_t datapath_getPFI0FpgaDelay(uint64_t handle, double* delay) {
    return returnCodeCall([&] {
        checkNotNull(delay);
        sessionPtrFromHandle(handle)->getPFI0FpgaDelay(delay);
    });
}

QV_EXPORT int32_t datapath_getRoutingDelay(uint64_t handle, double* delay) {
    return returnCodeCall([&] {
        checkNotNull(delay);
        sessionPtrFromHandle(handle)->getRoutingDelay(delay);
    });
}

QV_EXPORT int32_t datapath_programAnalogFrontEndDelay(uint64_t handle, double delay) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->programAnalogFrontEndDelay(delay); });
}

QV_EXPORT int32_t datapath_programMarkerDelay(uint64_t handle, double delay) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->programMarkerDelay(delay); });
}

QV_EXPORT int32_t datapath_programPostRouteEventDelay(uint64_t handle, double delay) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->programPostRouteEventDelay(delay); });
}

QV_EXPORT int32_t datapath_programPreRouteTriggerDelay(uint64_t handle, double delay) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programPreRouteTriggerDelay(delay); });
}

QV_EXPORT int32_t datapath_programEqBypass(uint64_t handle, uint32_t flag) {
    return returnCodeCall(
        [&] { sessionPtrFromHandle(handle)->programEqBypass(static_cast<uint8_t>(flag)); });
}

QV_EXPORT int32_t datapath_isDone(uint64_t handle, uint8_t* done) {
    return returnCodeCall([&] {
        checkNotNull(done);
        *done = sessionPtrFromHandle(handle)->isDone() ? 1 : 0;
    });
}

QV_EXPORT int32_t datapath_waitForDone(uint64_t handle) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->waitForDone(); });
}

QV_EXPORT int32_t datapath_computeTriggerTimestampsSettings(
    uint64_t handle, const datapathhal::TriggerTimestampsInput* input,
    datapathhal::TriggerTimestampsOutput* output,
    datapathhal::TriggerTimestampsSettings** settings) {
    return returnCodeCall([&] {
        checkNotNull(input, output, settings);
        *settings = sessionPtrFromHandle(handle)->computeTriggerTimestampsSettings(input, output);
    });
}

QV_EXPORT int32_t datapath_applyTriggerTimestampsSettings(
    uint64_t handle, const datapathhal::TriggerTimestampsSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->applyTriggerTimestampsSettings(settings);
    });
}

QV_EXPORT int32_t datapath_destroyTriggerTimestampsSettings(
    uint64_t handle, datapathhal::TriggerTimestampsSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->destroyTriggerTimestampsSettings(settings);
    });
}

QV_EXPORT int32_t datapath_computeReferenceSampleTimestamp(uint64_t handle, const uint64_t* words,
                                                           uint64_t count, double* out,
                                                           double period) {
    return returnCodeCall([&] {
        checkNotNull(out, words);
        *out = sessionPtrFromHandle(handle)->computeReferenceSampleTimestamp(words, count, period);
    });
}

QV_EXPORT int32_t datapath_computeRelativeToFirstRecordT0(uint64_t handle, uint32_t flag,
                                                          const uint64_t* firstRecordWords,
                                                          const uint64_t* recordWords,
                                                          uint64_t count, double* out,
                                                          double offset, double period) {
    return returnCodeCall([&] {
        checkNotNull(firstRecordWords, recordWords, out);
        *out = sessionPtrFromHandle(handle)->computeRelativeToFirstRecordT0(
            static_cast<uint8_t>(flag), firstRecordWords, recordWords, count, offset, period);
    });
}

QV_EXPORT int32_t datapath_computeReferenceTriggerCorrection(uint64_t handle, const uint64_t* words,
                                                             uint64_t count, uint32_t flag,
                                                             double* out, double period,
                                                             double offset) {
    return returnCodeCall([&] {
        checkNotNull(out, words);
        *out = sessionPtrFromHandle(handle)->computeReferenceTriggerCorrection(
            words, count, static_cast<uint8_t>(flag), period, offset);
    });
}
