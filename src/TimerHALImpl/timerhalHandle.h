// The timer_ family's handle: the TimerHALSession that device_getContext hands
// out for context 23; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace timerhal {
class TimerHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(timerhal, ::timerhal::TimerHALSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(timer)
