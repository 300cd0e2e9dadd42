#include "DSPHALImpl/digitaloffsethalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(digitaloffset, digitaloffsethal)
