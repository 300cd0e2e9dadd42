// The reservation_ family's handle: the ReservationSession that device_getContext hands
// out for context 28; return code style.
#pragma once

#include <cstdint>

#include "HALUtilities/ContextHandle.h"

namespace reservationhal {
class ReservationSession;
}

QV_CONTEXT_HANDLE_HOOKS(reservationhal, ::reservationhal::ReservationSession)

QV_CONTEXT_HANDLE_DECLARE_RETURN_CODE(reservation)
