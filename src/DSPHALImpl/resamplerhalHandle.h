// The resampler_ family's handle: the HWControl that device_getContext hands
// out for context 2; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qvdspcontrol::v1::resampler {
class HWControl;
}

QV_CONTEXT_HANDLE_HOOKS(resamplerhal, ::qvdspcontrol::v1::resampler::HWControl, resamplerContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(resampler)
