#include "SelfCalHALImpl/selfcalhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(selfcal, selfcalhal)
