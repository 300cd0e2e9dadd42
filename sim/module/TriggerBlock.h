// The module's trigger block: the register formats of the blanking marker
// offsets and the export pulse width, and the holdoff clock's revision.
#pragma once

#include <cstdint>

#include "FixedPoint/FixedPoint.h"
#include "module/Replies.h"

namespace qvsim {

struct TriggerBlock {
    explicit TriggerBlock(GuardedDecoder& decoder);

    sdihal::tFixedPointFormat blankingMarkerOffsetFormat{true, 16, 8};
    sdihal::tFixedPointFormat unblankingMarkerOffsetFormat{true, 16, 8};
    sdihal::tFixedPointFormat exportPulseWidthFormat{false, 16, 16};
    // 0 or 1: holdoff ticks count beyond the minimum; 2 and up: from zero.
    uint32_t holdoffRevision = 2;
};

}  // namespace qvsim
