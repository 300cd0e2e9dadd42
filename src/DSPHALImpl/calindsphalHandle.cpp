#include "DSPHALImpl/calindsphalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(calindsp, calindsphal)
