// The freqshift_ family's handle: the HWControl that device_getContext hands
// out for context 3; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qvdspcontrol::v1::freqShift {
class HWControl;
}

QV_CONTEXT_HANDLE_HOOKS(freqshifthal, ::qvdspcontrol::v1::freqShift::HWControl, freqShiftContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(freqshift)
