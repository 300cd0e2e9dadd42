/* A stand-in for the analysis library: SingleToneInfo answers what the test
 * set and records its arguments; the other entry points exist to be
 * resolved and are never called. */
#include "qvaal.h"

#define EXPORT __attribute__((visibility("default")))

static double g_frequency = 50e6;
static double g_phase = 0.0;
static int32_t g_status = 0;
static qvaalsim_call g_last;

EXPORT void qvaalsim_setSingleTone(double frequency, double phaseDegrees, int32_t status) {
    g_frequency = frequency;
    g_phase = phaseDegrees;
    g_status = status;
}

EXPORT qvaalsim_call qvaalsim_lastCall(void) {
    return g_last;
}

EXPORT int32_t SingleToneInfo(const double* signal, int64_t count, const double* search,
                              double* frequency, double* otherOutput, double* phaseDegrees,
                              double sampleInterval) {
    g_last.count = count;
    g_last.firstSample = count > 0 ? signal[0] : 0.0;
    g_last.lastSample = count > 0 ? signal[count - 1] : 0.0;
    g_last.search[0] = search[0];
    g_last.search[1] = search[1];
    g_last.sampleInterval = sampleInterval;
    ++g_last.calls;
    if (g_status < 0) return g_status;
    *frequency = g_frequency;
    *otherOutput = 1.0;
    *phaseDegrees = g_phase;
    return g_status;
}

static int32_t unused(void) {
    return -20001;
}

EXPORT int32_t CDBFFT(void) {
    return unused();
}
EXPORT int32_t CSGFFT(void) {
    return unused();
}
EXPORT int32_t CDBScaledWindow(void) {
    return unused();
}
EXPORT int32_t CSGScaledWindow(void) {
    return unused();
}
#ifndef QVAAL_WITHOUT_SPLINE
EXPORT int32_t Spline(void) {
    return unused();
}
#endif
EXPORT int32_t SpInterp(void) {
    return unused();
}
EXPORT int32_t CxMatrixMul(void) {
    return unused();
}
