#include "DataAccessHALImpl/dataaccesshalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST(da, dataaccesshal)
