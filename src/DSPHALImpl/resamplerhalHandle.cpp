#include "DSPHALImpl/resamplerhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(resampler, resamplerhal)
