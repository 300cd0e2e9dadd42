// The calindsp_ family's handle: the CalInDSPSession that device_getContext hands
// out for context 12; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dsphal {
class CalInDSPSession;
}

QV_CONTEXT_HANDLE_HOOKS(calindsphal, ::dsphal::CalInDSPSession, calInDspContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(calindsp)
