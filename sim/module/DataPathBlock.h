// The module's two data paths (0 acquisition, 1 generation): register
// formats, delays, status flags that clear when read, the trigger-timestamp
// mode, and a done flag that comes up after a given number of reads.
#pragma once

#include <array>
#include <cstdint>

#include "FixedPoint/FixedPoint.h"
#include "module/Replies.h"

namespace qvsim {

struct DataPathBlock {
    explicit DataPathBlock(GuardedDecoder& decoder);

    struct Path {
        sdihal::tFixedPointFormat analogFrontEndDelayFormat{true, 24, 8};
        sdihal::tFixedPointValue groupDelay;
        sdihal::tFixedPointValue pfi0Delay;
        sdihal::tFixedPointValue routingDelay;
        uint32_t pipelineDelay = 0;
        uint32_t minimumDataDelay = 0;
        uint32_t maximumDataDelay = 0;
        // Reported by the next status read, then cleared.
        std::array<uint8_t, 6> statusFlags{};
        uint64_t statusContext[2] = {};
        // The done flag reads set from this read on (0: at once); negative:
        // the path never goes idle.
        int64_t readsUntilIdle = 0;
        int64_t doneReads = 0;
    };
    std::array<Path, 2> paths;

    sdihal::tFixedPointFormat markerDelayFormat{true, 20, 12};
    sdihal::tFixedPointFormat preRouteTriggerDelayFormat{true, 20, 12};
    sdihal::tFixedPointFormat postRouteEventDelayFormat{true, 20, 12};
    sdihal::tFixedPointFormat triggerTimestampOffsetFormat{true, 32, 16};
    uint32_t triggerTimestampMode = 2;
    // A fraction word holds 32 bits below the binary point.
    sdihal::tFixedPointFormat timestampFractionFormat{false, 32, 0};
};

}  // namespace qvsim
