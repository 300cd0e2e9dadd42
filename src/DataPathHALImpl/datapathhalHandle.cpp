#include "DataPathHALImpl/datapathhalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(datapath, datapathhal)
