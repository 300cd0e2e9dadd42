#include "DSPHALImpl/caloutdsphalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(caloutdsp, caloutdsphal)
