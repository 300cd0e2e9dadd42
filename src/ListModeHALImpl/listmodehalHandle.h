// The listmode_ family's handle: the ListModeHALSession that device_getContext hands
// out for context 22; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace listmodehal {
class ListModeHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(listmodehal, ::listmodehal::ListModeHALSession, listModeContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(listmode)
