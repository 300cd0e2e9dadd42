#include "IQManipulationHALImpl/iqmaniphalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_RETURN_CODE(iqmanip, iqmaniphal)
