// The iqmanip_ family's handle: the IQManipulationHALSession that device_getContext hands
// out for context 18; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace iqmaniphal {
class IQManipulationHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(iqmaniphal, ::iqmaniphal::IQManipulationHALSession, iqManipulationContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(iqmanip)
