// The trig_ family's handle: the TrigHALSession that device_getContext hands
// out for context 10; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace trighal {
class TrigHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(trighal, ::trighal::TrigHALSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(trig)
