// The digitalgain_ family's handle: the HWControl that device_getContext hands
// out for context 9; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qvdspcontrol::v1::iqGain {
class HWControl;
}

QV_CONTEXT_HANDLE_HOOKS(digitalgainhal, ::qvdspcontrol::v1::iqGain::HWControl, digitalGainContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(digitalgain)
