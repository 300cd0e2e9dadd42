// The routinghal_ family's handle: the RoutingHALSession that device_getContext hands
// out for context 25; status last style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace routinghal {
class RoutingHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(routinghal, ::routinghal::RoutingHALSession)

QV_CONTEXT_HANDLE_DECLARE_STATUS_LAST(routinghal)
