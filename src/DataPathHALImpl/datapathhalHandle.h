// The datapath_ family's handle: the DataPathSession that device_getContext hands
// out for context 0; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace datapathhal {
class DataPathSession;
}

QV_CONTEXT_HANDLE_HOOKS(datapathhal, ::datapathhal::DataPathSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(datapath)
