// The equalizer_ family's handle: the EqualizerSession that device_getContext hands
// out for context 6, 26 and 27; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace dsphal {
class EqualizerSession;
}

QV_CONTEXT_HANDLE_HOOKS(equalizerhal, ::dsphal::EqualizerSession, equalizerContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(equalizer)
