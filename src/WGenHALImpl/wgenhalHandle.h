// The wgen_ family's handle: the WGenHALSession that device_getContext hands
// out for context 15; status last style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace wgenhal {
class WGenHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(wgenhal, ::wgenhal::WGenHALSession, wgenContext)

QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(wgen)
