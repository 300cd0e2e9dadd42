#include "TimerHALImpl/timerhalHandle.h"

using qv3377hal::checkNotNull;
using qv3377hal::returnCodeCall;
using timerhal::sessionPtrFromHandle;

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(timer, timerhal)

QV_EXPORT int32_t timer_getTraits(uint64_t handle, bool* hasTimerOut) {
    return returnCodeCall([&] {
        checkNotNull(hasTimerOut);
        *hasTimerOut = sessionPtrFromHandle(handle)->getTraits();
    });
}

// A null record is refused like the other records of these families.
QV_EXPORT int32_t timer_deployTimerSettings(uint64_t handle,
                                            const timerhal::TimerSettings* settings) {
    return returnCodeCall([&] {
        checkNotNull(settings);
        sessionPtrFromHandle(handle)->deployTimerSettings(*settings);
    });
}

QV_EXPORT int32_t timer_sendMessage(uint64_t handle, uint32_t message) {
    return returnCodeCall([&] { sessionPtrFromHandle(handle)->sendMessage(message); });
}
