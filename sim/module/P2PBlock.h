// The module's peer-to-peer streaming block: its endpoints (index 0 the
// acquisition-side writer, index 1 the generation-side reader) with their
// flow-control settings and the counters the driver reports, and the run
// state of the stream source and sink.
#pragma once

#include <cstdint>
#include <vector>

#include "module/Replies.h"

namespace qvsim {

struct P2PBlock {
    explicit P2PBlock(GuardedDecoder& decoder);

    struct Endpoint {
        // What the driver was last told.
        bool enabled = false;
        uint32_t enabledDirection = 0;
        uint64_t samplesToRead = 0;
        uint64_t fullnessTrigger = 0;
        // What it reports.
        uint64_t size = 16384;
        uint64_t mostSamplesInSource = 0;
        bool hasOverflowed = false;
        uint64_t samplesTransferred = 0;
        uint64_t samplesInEndpoint = 0;
        uint64_t spaceAvailable = 0;
        uint64_t mostSpaceAvailable = 0;
        uint64_t sampleQuantum = 4;
    };
    // A request naming an index beyond these fails its ioctl (EINVAL).
    std::vector<Endpoint> endpoints{2};

    bool onboardMemoryEnabled = false;
    uint64_t samplesToWrite = 0;
    // Source and sink run from their initiate to their abort.
    bool sourceRunning = false;
    bool sinkRunning = false;
    // checkGenerationStatus answers sinkRunning as its first flag and this
    // as its second; the flag the caller sent is kept in sentSecondFlag.
    bool generationSecondFlag = false;
    uint8_t sentSecondFlag = 0;
};

}  // namespace qvsim
