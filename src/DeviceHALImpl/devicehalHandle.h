// The device_ family: open a device session for one side of the module,
// hand out its sub-sessions by context id, close it; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ErrorHandling.h"

QV_EXPORT int32_t device_open(const char* sessionParamsJson, const char* subsystemInstance,
                              uint64_t* handleOut);
// flag: the digital-gain instance of a generation session's context 9; 0
// for every other context.
QV_EXPORT int32_t device_getContext(uint64_t deviceHandle, uint32_t contextId, uint8_t flag,
                                    uint64_t* contextOut);
QV_EXPORT void device_close(uint64_t handle);
