#include "ListModeHALImpl/listmodehalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(listmode, listmodehal)
