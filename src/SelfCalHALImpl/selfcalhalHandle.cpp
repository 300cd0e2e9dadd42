#include "SelfCalHALImpl/selfcalhalHandle.h"

#include <string>

#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qverr/DetailWriter.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE_AT(selfcal, selfcalhal, __FILE__, 18)

namespace {

// A null text cannot be copied: a software fault, as the ladder reports a
// failed copy.
std::string copyText(const char* text) {
    if (text == nullptr) {
        QVERR_THROW_WITH_MESSAGE(
            qv3377hal::kComponent, qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
            "qvapalerr_softwareFaultAPALInternalUseOnly", "copyText", "null text pointer");
    }
    return text;
}

using RangeOperation = int32_t (selfcalhal::SelfCalHALSession::*)(const std::string&, uint64_t,
                                                                  bool, double, double, double,
                                                                  double, double);

// The two drivers' range calibrations; the result is dropped.
int32_t rangeCalibrate(RangeOperation operation, uint64_t handle, const char* referenceClock,
                       uint64_t value, int32_t includeRate, double a, double b, double c, double d,
                       double iqRate) {
    return qv3377hal::returnCodeCall([&] {
        selfcalhal::SelfCalHALSession* session = selfcalhal::sessionPtrFromHandle(handle);
        (session->*operation)(copyText(referenceClock), value, includeRate != 0, a, b, c, d,
                              iqRate);
    });
}

}  // namespace

QV_EXPORT int32_t selfcal_intermediateSelfTestDevice(uint64_t handle, qverr::Status* status) {
    return qv3377hal::returnCodeCall(
        [&] { selfcalhal::sessionPtrFromHandle(handle)->intermediateSelfTestDevice(status); });
}

QV_EXPORT int32_t selfcal_selfCalibrate(uint64_t handle, const char* referenceClock) {
    return qv3377hal::returnCodeCall([&] {
        selfcalhal::SelfCalHALSession* session = selfcalhal::sessionPtrFromHandle(handle);
        session->selfCalibrate(copyText(referenceClock));
    });
}

QV_EXPORT int32_t selfcal_standaloneSelfCalibrate(uint64_t handle) {
    return qv3377hal::returnCodeCall(
        [&] { selfcalhal::sessionPtrFromHandle(handle)->standaloneSelfCalibrate(); });
}

QV_EXPORT int32_t selfcal_PEXA_SelfCalibrateRange(uint64_t handle, const char* referenceClock,
                                                  uint64_t value, int32_t includeRate, double a,
                                                  double b, double c, double d, double iqRate) {
    return rangeCalibrate(&selfcalhal::SelfCalHALSession::PEXA_SelfCalibrateRange, handle,
                          referenceClock, value, includeRate, a, b, c, d, iqRate);
}

QV_EXPORT int32_t selfcal_PEXG_SelfCalibrateRange(uint64_t handle, const char* referenceClock,
                                                  uint64_t value, int32_t includeRate, double a,
                                                  double b, double c, double d, double iqRate) {
    return rangeCalibrate(&selfcalhal::SelfCalHALSession::PEXG_SelfCalibrateRange, handle,
                          referenceClock, value, includeRate, a, b, c, d, iqRate);
}
