// How the module's driver answers questions about its blocks, each named by
// a block path (32-bit elements: block id, instance index << 16): the
// interface versions per path, the block checks (status only) and look-ups
// (instance number and status), and the calibration-output traits.
// Everything a test leaves alone is present and compatible.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "apal_qv3377k/DriverCodes.h"
#include "module/Replies.h"

namespace qvsim {

struct BlockPathBlock {
    using Path = std::vector<uint32_t>;
    struct Version {
        uint16_t current = 0;
        uint16_t oldestCompatible = 0;
        int32_t status = 0;
    };
    // The driver's answer for a block it does not have.
    static constexpr int32_t kBlockAbsent = sdihal::kDriverErrorBlockAbsent;

    explicit BlockPathBlock(GuardedDecoder& decoder);

    // Interface versions; a path not listed is answered with kBlockAbsent.
    std::map<Path, Version> versions;
    // Checks and look-ups of these paths fail with the code given.
    std::map<Path, int32_t> refused;
    // Instance numbers the look-ups answer (0 when not listed).
    std::map<Path, uint32_t> instances;
    // The calibration-output DSP's traits word; 0: the image has no such block.
    uint16_t calOutTraits = 1;
    // Paths the checks and look-ups were asked about, in order (sessions on
    // several threads add to it under the mutex).
    std::vector<Path> asked;
    std::mutex askedMutex;
};

}  // namespace qvsim
