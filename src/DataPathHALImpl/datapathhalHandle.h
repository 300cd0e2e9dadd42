// The datapath_ family: the DataPathSession that device_getContext hands out
// for context 0; return code style.
#pragma once

#include <cstdint>

#include "DataPathHALImpl/DataPathSession.h"
#include "HALUtilities/ContextHandle.h"

QV_CONTEXT_HANDLE_HOOKS(datapathhal, ::datapathhal::DataPathSession, dataPathContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(datapath)

QV_EXPORT int32_t datapath_sendMessages(uint64_t handle, const void* messages, uint32_t count);
QV_EXPORT int32_t datapath_checkStatus(uint64_t handle, datapathhal::DataPathStatus* status);
QV_EXPORT int32_t datapath_checkStatusWithContext(uint64_t handle,
                                                  datapathhal::DataPathStatusWithContext* status);
QV_EXPORT int32_t datapath_clearStatus(uint64_t handle, const datapathhal::DataPathStatus* status);
QV_EXPORT int32_t datapath_readDSPGroupDelay(uint64_t handle, double* delay);
QV_EXPORT int32_t datapath_readDSPPipelineDelay(uint64_t handle, uint32_t* delay);
QV_EXPORT int32_t datapath_readDataDelayRange(uint64_t handle, uint32_t* minimum,
                                              uint32_t* maximum);
QV_EXPORT int32_t datapath_programDataDelay(uint64_t handle, uint32_t delay);
QV_EXPORT int32_t datapath_programDSPIgnoreOverflow(uint64_t handle, uint32_t flag);
QV_EXPORT int32_t datapath_getPFI0FpgaDelay(uint64_t handle, double* delay);
QV_EXPORT int32_t datapath_getRoutingDelay(uint64_t handle, double* delay);
QV_EXPORT int32_t datapath_programAnalogFrontEndDelay(uint64_t handle, double delay);
QV_EXPORT int32_t datapath_programMarkerDelay(uint64_t handle, double delay);
QV_EXPORT int32_t datapath_programPostRouteEventDelay(uint64_t handle, double delay);
QV_EXPORT int32_t datapath_programPreRouteTriggerDelay(uint64_t handle, double delay);
QV_EXPORT int32_t datapath_programEqBypass(uint64_t handle, uint32_t flag);
QV_EXPORT int32_t datapath_isDone(uint64_t handle, uint8_t* done);
QV_EXPORT int32_t datapath_waitForDone(uint64_t handle);
QV_EXPORT int32_t datapath_computeTriggerTimestampsSettings(
    uint64_t handle, const datapathhal::TriggerTimestampsInput* input,
    datapathhal::TriggerTimestampsOutput* output,
    datapathhal::TriggerTimestampsSettings** settings);
QV_EXPORT int32_t datapath_applyTriggerTimestampsSettings(
    uint64_t handle, const datapathhal::TriggerTimestampsSettings* settings);
QV_EXPORT int32_t datapath_destroyTriggerTimestampsSettings(
    uint64_t handle, datapathhal::TriggerTimestampsSettings* settings);
QV_EXPORT int32_t datapath_computeReferenceSampleTimestamp(uint64_t handle, const uint64_t* words,
                                                           uint64_t count, double* out,
                                                           double period);
QV_EXPORT int32_t datapath_computeRelativeToFirstRecordT0(uint64_t handle, uint32_t flag,
                                                          const uint64_t* firstRecordWords,
                                                          const uint64_t* recordWords,
                                                          uint64_t count, double* out,
                                                          double offset, double period);
QV_EXPORT int32_t datapath_computeReferenceTriggerCorrection(uint64_t handle, const uint64_t* words,
                                                             uint64_t count, uint32_t flag,
                                                             double* out, double period,
                                                             double offset);
