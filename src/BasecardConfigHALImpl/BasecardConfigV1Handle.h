// The BasecardConfigV1_ family's handle: the BasecardConfigSession that device_getContext hands
// out for context 7; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace BasecardConfigV1 {
class BasecardConfigSession;
}

QV_CONTEXT_HANDLE_HOOKS(BasecardConfigV1, ::BasecardConfigV1::BasecardConfigSession,
                        basecardConfigContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(BasecardConfigV1)
