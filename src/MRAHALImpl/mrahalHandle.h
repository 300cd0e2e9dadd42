// The mra_ family's handle: the MRAHALSession that device_getContext hands
// out for context 13; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace mrahal {
class MRAHALSession;
}

QV_CONTEXT_HANDLE_HOOKS(mrahal, ::mrahal::MRAHALSession, mraContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(mra)
