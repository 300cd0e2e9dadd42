#include "DSPHALImpl/freqshifthalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(freqshift, freqshifthal)
