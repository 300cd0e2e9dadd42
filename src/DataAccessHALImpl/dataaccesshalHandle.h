// The da_ family's handle: the DataAccessHALSession that device_getContext hands
// out for context 32; status last style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dataaccesshal {
class DataAccessHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(dataaccesshal, ::dataaccesshal::DataAccessHALSession)

QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(da)
