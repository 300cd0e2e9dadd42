// The instruction-target plug-in's entry points, as an instruction framework
// host finds them by name. The status is the host's chained status record;
// a null status makes every call do nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "HALUtilities/ErrorHandling.h"
#include "IFWHALImpl/InstructionTarget.h"

QV_EXPORT void qvIFW_Target_libqv3377hal_GetPluginVersion(uint32_t* major, uint32_t* minor);
// `json`: {"deviceInterfacePath": text, "type": number, "instance": number}
// (keys in any letter case). The target handle, or null after an error.
QV_EXPORT qvifw::InstructionTarget* qvIFW_Target_libqv3377hal_Open(const char* json,
                                                                   qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_Close(qvifw::InstructionTarget* target,
                                               qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_Reset(qvifw::InstructionTarget* target,
                                               qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_Read(qvifw::InstructionTarget* target,
                                              qvifw::Location location, uint64_t* value,
                                              uint32_t option, qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_ReadArray(qvifw::InstructionTarget* target, void* buffer,
                                                   size_t count, uint64_t reference,
                                                   uint32_t option, qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_Write(qvifw::InstructionTarget* target, bool flag,
                                               uint32_t option, qvifw::LocationWithValue location,
                                               qverr::Status* status);
QV_EXPORT void qvIFW_Target_libqv3377hal_WriteArray(qvifw::InstructionTarget* target,
                                                    const void* buffer, size_t count, bool flag,
                                                    uint32_t option, qverr::Status* status);
