#include "DSPHALImpl/iqdatatriggerhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(iqDataTrigger, iqdatatriggerhal)
