#include "SyntraSyncHALImpl/syntrasynchalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(syntrasync, syntrasynchal)
