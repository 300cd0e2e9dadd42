// The timer_ family: the TimerHALSession that device_getContext hands out
// for context 23; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"
#include "TimerHALImpl/TimerHALSession.h"

QV_CONTEXT_HANDLE_HOOKS(timerhal, ::timerhal::TimerHALSession, timerContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(timer)

QV_EXPORT int32_t timer_getTraits(uint64_t handle, bool* hasTimerOut);
QV_EXPORT int32_t timer_deployTimerSettings(uint64_t handle,
                                            const timerhal::TimerSettings* settings);
QV_EXPORT int32_t timer_sendMessage(uint64_t handle, uint32_t message);
