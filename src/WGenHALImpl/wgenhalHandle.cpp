#include "WGenHALImpl/wgenhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST(wgen, wgenhal)
