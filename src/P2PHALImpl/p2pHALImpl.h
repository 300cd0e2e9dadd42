// The p2p_ family: a stand-alone peer-to-peer session per handle, made by
// p2p_open from the session parameters and the endpoint description that
// the device session hands out (context 17). Platform-status style: each
// export returns the code of its own platform status.
#pragma once

#include <cstdint>

#include "HALUtilities/ErrorHandling.h"
#include "P2PHALImpl/p2pHALSession.h"

namespace p2phal {

// The handle as its session; null, or a handle that names no open session,
// throws -52005.
p2pHALSession* sessionRefFromHandle(void* handle);
// As sessionRefFromHandle, for p2p_close: the handle is dropped and the
// caller deletes the session (only the first of two closes gets it).
p2pHALSession* takeSessionFromHandle(void* handle);

}  // namespace p2phal

extern "C" {
// *handleOut receives the session even when the open fails; such a session
// refuses every operation and must still be closed.
QV_EXPORT int32_t p2p_open(const char* sessionParamsJson, const char* endpointsJson,
                           void** handleOut);
QV_EXPORT int32_t p2p_close(void* handle);
QV_EXPORT int32_t p2p_getNumEndpointsAvailable(void* handle, uint64_t* countOut);
QV_EXPORT int32_t p2p_isEndpointValid(void* handle, uint32_t index, uint8_t* validOut);
QV_EXPORT int32_t p2p_getEndpointHandle(void* handle, uint32_t index, uint32_t* endpointHandleOut);
QV_EXPORT int32_t p2p_setEnabled(void* handle, uint32_t index, int32_t enable);
QV_EXPORT int32_t p2p_getEndpointSize(void* handle, uint32_t index, uint64_t* sizeOut);
QV_EXPORT int32_t p2p_setOnboardMemoryEnabled(void* handle, int32_t enable);
QV_EXPORT int32_t p2p_getMostSamplesInSource(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_getHasOverflowed(void* handle, uint32_t index, uint32_t* flagOut);
QV_EXPORT int32_t p2p_getSamplesTransferred(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_getSamplesInEndpoint(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_initiateSource(void* handle);
QV_EXPORT int32_t p2p_checkAcquisitionStatus(void* handle, uint32_t* flagOut);
QV_EXPORT int32_t p2p_abortSource(void* handle);
QV_EXPORT int32_t p2p_setNumberOfSamplesToWrite(void* handle, uint64_t count);
QV_EXPORT int32_t p2p_initiateSink(void* handle);
QV_EXPORT int32_t p2p_checkGenerationStatus(void* handle, uint32_t* firstFlagOut,
                                            uint32_t* secondFlagOut);
QV_EXPORT int32_t p2p_abortSink(void* handle);
QV_EXPORT int32_t p2p_getSpaceAvailableInSink(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_getMostSpaceAvailableInSink(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_getSampleQuantum(void* handle, uint32_t index, uint64_t* out);
QV_EXPORT int32_t p2p_setNumberOfSamplesToRead(void* handle, uint32_t index, uint64_t count);
QV_EXPORT int32_t p2p_programEndpointFullnessTrigger(void* handle, uint32_t index,
                                                     const uint64_t* value);
}
