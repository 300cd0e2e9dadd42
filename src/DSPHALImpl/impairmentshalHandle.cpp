#include "DSPHALImpl/impairmentshalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(impairments, impairmentshal)
