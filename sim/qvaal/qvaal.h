/* Test controls of the analysis library stand-in, reached with dlsym once
 * the library is loaded. */
#ifndef QVAAL_SIM_H
#define QVAAL_SIM_H

#include <stdint.h>

typedef struct qvaalsim_call {
    int64_t count;      /* samples passed */
    double firstSample; /* first and last of them (0 when none) */
    double lastSample;
    double search[2];
    double sampleInterval;
    uint32_t calls; /* SingleToneInfo calls so far */
} qvaalsim_call;

/* What SingleToneInfo answers next: frequency, phase in degrees, and the
 * library status it returns (outputs are written only when it is >= 0). */
typedef void (*qvaalsim_setSingleTone_fn)(double frequency, double phaseDegrees, int32_t status);
/* The arguments of the latest SingleToneInfo call. */
typedef qvaalsim_call (*qvaalsim_lastCall_fn)(void);

#endif
