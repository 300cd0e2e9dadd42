// The selfcal_ family's handle: the SelfCalHALSession that device_getContext hands
// out for context 24; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qverr {
struct Status;
}

namespace selfcalhal {
class SelfCalHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(selfcalhal, ::selfcalhal::SelfCalHALSession, selfCalContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(selfcal)

QV_EXPORT int32_t selfcal_intermediateSelfTestDevice(uint64_t handle, qverr::Status* status);
QV_EXPORT int32_t selfcal_selfCalibrate(uint64_t handle, const char* referenceClock);
QV_EXPORT int32_t selfcal_standaloneSelfCalibrate(uint64_t handle);
QV_EXPORT int32_t selfcal_PEXA_SelfCalibrateRange(uint64_t handle, const char* referenceClock,
                                                  uint64_t value, int32_t includeRate, double a,
                                                  double b, double c, double d, double iqRate);
QV_EXPORT int32_t selfcal_PEXG_SelfCalibrateRange(uint64_t handle, const char* referenceClock,
                                                  uint64_t value, int32_t includeRate, double a,
                                                  double b, double c, double d, double iqRate);
