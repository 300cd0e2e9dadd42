#include "DSPHALImpl/equalizerhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(equalizer, equalizerhal)
