/* Control interface of the calibration library stand-in
 * (libqvqrx3377cal.so). The state lives in libqvcalsim.so, which every
 * variant of the stand-in and the test program share. */
#ifndef QV_CALSIM_H
#define QV_CALSIM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The entry points, in the order the controls index them. */
enum calsim_entry {
    calsim_selfTest = 0,
    calsim_selfCalibrate = 1,
    calsim_standalone = 2,
    calsim_pexaRange = 3,
    calsim_pexgRange = 4,
    calsim_dllStatus = 5,
    calsim_entryCount = 6
};

/* Back to results 0, no delay, no message, no calls recorded. */
void calsim_reset(void);
void calsim_setResult(int entry, int32_t result);
/* Calls of the entry wait this long, or until calsim_release. */
void calsim_setDelayMs(int entry, uint32_t milliseconds);
/* Ends every current and later delay until calsim_reset. */
void calsim_release(void);
/* The self test's result value and message text (null: no message). */
void calsim_setSelfTest(int32_t testResult, const char* message);
uint32_t calsim_calls(int entry);
/* The last call's resource name and configuration text ("" before). */
void calsim_lastCall(int entry, char* resource, uint32_t resourceSize, char* configuration,
                     uint32_t configurationSize);
/* The range calibrations' last value and doubles. */
uint64_t calsim_lastValue(int entry);
double calsim_lastDouble(int entry, int index);

/* Used by the stand-in itself: records a call, waits its delay and
 * returns its result. */
int32_t calsim_enter(int entry, const char* resource, const char* configuration, uint64_t value,
                     const double* doubles);
/* The self test's outputs: the result value, and a new string handle
 * holding the message (null without one). */
int32_t calsim_selfTestResult(void);
void* calsim_newMessageHandle(void);

#ifdef __cplusplus
}
#endif

#endif
