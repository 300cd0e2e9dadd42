// The impairments_ family's handle: the HWControl that device_getContext hands
// out for context 4; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace qvdspcontrol::v1::iqImpairments {
class HWControl;
}

QV_CONTEXT_HANDLE_HOOKS(impairmentshal, ::qvdspcontrol::v1::iqImpairments::HWControl,
                        impairmentsContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(impairments)
