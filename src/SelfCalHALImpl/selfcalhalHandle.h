// The selfcal_ family's handle: the SelfCalHALSession that device_getContext hands
// out for context 24; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace selfcalhal {
class SelfCalHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(selfcalhal, ::selfcalhal::SelfCalHALSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(selfcal)
