// The VISA PXI plug-in's entry points, as the VISA library finds them by
// name. Every one returns a VISA status; a session is the address VISA got
// from PpiOpen.
#pragma once

#include <cstdint>

#include "HALUtilities/ErrorHandling.h"
#include "qvvisa_pxi_plugin_apal_codegen/VisaStatus.h"

using visapxipluginapalcodegen::ViStatus;

QV_EXPORT ViStatus PpiInitializePlugin();
QV_EXPORT ViStatus PpiFinalizePlugin();
QV_EXPORT ViStatus PpiGetDeviceIDs(uint16_t wantFlags, int32_t capacity, uint64_t* ids,
                                   uint16_t* flags, uint32_t* count);
QV_EXPORT ViStatus PpiOpen(int32_t first, uint32_t bus, uint32_t device, uint32_t function,
                           uint64_t* session);
QV_EXPORT ViStatus PpiClose(uint64_t session);
QV_EXPORT ViStatus PpiGetSpaceInfo(uint64_t session, uint32_t space, uint16_t* first,
                                   uint64_t* second, uint64_t* third);
QV_EXPORT ViStatus PpiGetDeviceAttribute(uint64_t session, uint32_t attribute, void* value);
QV_EXPORT ViStatus PpiBlockRead(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                                uint32_t access, uint16_t flag, void* buffer, uint64_t count,
                                uint32_t mode);
QV_EXPORT ViStatus PpiBlockWrite(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                                 uint32_t access, uint16_t flag, const void* buffer, uint64_t count,
                                 uint32_t mode);
// Not supported by this module: each returns 0xBFFF0081 whatever it is given.
QV_EXPORT ViStatus PpiMapMemory();
QV_EXPORT ViStatus PpiUnmapMemory();
QV_EXPORT ViStatus PpiEnableInterrupts();
QV_EXPORT ViStatus PpiWaitInterrupt();
QV_EXPORT ViStatus PpiDisableAndAbortWaitInterrupt();
QV_EXPORT ViStatus PpiTerminateIO();
