/* Stand-in of the calibration library libqvqrx3377cal.so: every entry
 * point records its call and answers what the controls of calsim.h say.
 * The "nostandalone" variant lacks qvQRX2Cal_StandaloneSelfCalibrate. */
#include <stddef.h>
#include <stdint.h>

#include "calsim.h"

#define CAL_EXPORT __attribute__((visibility("default")))

CAL_EXPORT int32_t qvQRX2Cal_IntermediateSelfTestDevice(const char* resource, int32_t* testResult,
                                                        void** message) {
    const int32_t result = calsim_enter(calsim_selfTest, resource, "", 0, NULL);
    if (testResult != NULL) *testResult = calsim_selfTestResult();
    if (message != NULL) *message = calsim_newMessageHandle();
    return result;
}

CAL_EXPORT int32_t qvQRX2Cal_SelfCalibrate(const char* resource, const char* configuration) {
    return calsim_enter(calsim_selfCalibrate, resource, configuration, 0, NULL);
}

#ifndef CAL_NO_STANDALONE
CAL_EXPORT int32_t qvQRX2Cal_StandaloneSelfCalibrate(const char* resource,
                                                     const char* configuration) {
    return calsim_enter(calsim_standalone, resource, configuration, 0, NULL);
}
#endif

CAL_EXPORT int32_t qvQRX2Cal_PEXASelfCalibrateRange(const char* resource, const char* configuration,
                                                    uint64_t value, double a, double b, double c,
                                                    double d) {
    const double doubles[4] = {a, b, c, d};
    return calsim_enter(calsim_pexaRange, resource, configuration, value, doubles);
}

CAL_EXPORT int32_t qvQRX2Cal_PEXGSelfCalibrateRange(const char* resource, const char* configuration,
                                                    uint64_t value, double a, double b, double c,
                                                    double d) {
    const double doubles[4] = {a, b, c, d};
    return calsim_enter(calsim_pexgRange, resource, configuration, value, doubles);
}

CAL_EXPORT int32_t KXDLLStatus(char* text, int32_t size, void* module) {
    (void)module;
    if (text != NULL && size > 0) text[0] = '\0';
    return calsim_enter(calsim_dllStatus, "", "", 0, NULL);
}
