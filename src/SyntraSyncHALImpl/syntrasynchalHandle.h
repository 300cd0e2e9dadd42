// The syntrasync_ family's handle: the SyntraSyncSession that device_getContext hands
// out for context 19; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace syntrasynchal {
class SyntraSyncSession;
}

QV_CONTEXT_HANDLE_HOOKS(syntrasynchal, ::syntrasynchal::SyntraSyncSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(syntrasync)
