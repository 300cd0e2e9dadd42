#include "MRAHALImpl/mrahalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(mra, mrahal)
