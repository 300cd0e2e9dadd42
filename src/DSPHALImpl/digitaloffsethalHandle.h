// The digitaloffset_ family's handle: the DigitalOffsetSession that device_getContext hands
// out for context 5 and 33; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dsphal {
class DigitalOffsetSession;
}

QV_CONTEXT_HANDLE_HOOKS(digitaloffsethal, ::dsphal::DigitalOffsetSession, digitalOffsetContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(digitaloffset)
