// The IQConfigV1_ family's handle: the IQConfigV1ProxyWrapper that device_getContext hands
// out for context 20; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace IQConfigV1 {
class IQConfigV1ProxyWrapper;
}

QV_CONTEXT_HANDLE_HOOKS(IQConfigV1, ::IQConfigV1::IQConfigV1ProxyWrapper, iqConfigContext)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(IQConfigV1)
