#include "TrigHALImpl/trighalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(trig, trighal)
