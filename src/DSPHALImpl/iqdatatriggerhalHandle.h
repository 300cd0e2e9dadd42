// The iqDataTrigger_ family's handle: the HWControl that device_getContext hands
// out for context 16; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qvdspcontrol::v1::iqDataTrigger {
class HWControl;
}

QV_CONTEXT_HANDLE_HOOKS(iqdatatriggerhal, ::qvdspcontrol::v1::iqDataTrigger::HWControl,
                        iqDataTriggerContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(iqDataTrigger)
