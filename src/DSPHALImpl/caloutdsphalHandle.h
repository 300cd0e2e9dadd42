// The caloutdsp_ family's handle: the CalOutDSPSession that device_getContext hands
// out for context 14; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dsphal {
class CalOutDSPSession;
}

QV_CONTEXT_HANDLE_HOOKS(caloutdsphal, ::dsphal::CalOutDSPSession, calOutDspContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(caloutdsp)
