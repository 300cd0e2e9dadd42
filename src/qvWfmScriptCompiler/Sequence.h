// The compiled form of scripts that the generation engine turns into
// sequencer instructions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvwfmscriptcompiler {

// The sequencer has one mask bit per marker and per script trigger.
inline constexpr uint32_t kLargestMarkerId = 7;
inline constexpr uint32_t kLargestScriptTriggerId = 7;

struct MarkerEvent {
    uint32_t position = 0;   // samples from the segment's start (the subset start)
    uint8_t markerMask = 0;  // bit (1 << marker id) for each marker here
};

struct SequenceSegment {
    std::string waveformName;  // empty for a wait
    uint8_t triggerCode = 0;   // of a wait until a script trigger
    uint32_t startOffset = 0;
    int32_t length = -1;  // subset length, -1 for the whole waveform, or the wait's samples
    bool isWait = false;
    uint8_t clearMask = 0;             // clears that stood before this segment
    std::vector<MarkerEvent> markers;  // strictly ascending positions
};

enum LoopType : uint16_t {
    kLoopTypeCount = 0,  // play loopCount times
    kLoopTypeForever = 1,
    kLoopTypeUntilTrigger = 2,  // until loopTrigger
};

struct SequenceStep {
    uint16_t loopType = kLoopTypeCount;
    uint32_t loopCount = 1;
    uint8_t loopTrigger = 0;      // trigger code of an until loop
    uint8_t clearBeforeLoop = 0;  // clears that stood before the loop
    std::vector<SequenceSegment> segments;
};

struct CompiledScript {
    std::string name;
    // The script is one forever loop; its steps are the loop's body and
    // carry no loop of their own.
    bool repeatsForever = false;
    std::vector<SequenceStep> steps;
};

}  // namespace qvwfmscriptcompiler
