#include "DSPHALImpl/digitalgainhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(digitalgain, digitalgainhal)
