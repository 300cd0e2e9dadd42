#include "TimerHALImpl/timerhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(timer, timerhal)
