#include "ScriptSupport.h"

namespace scripttest {

using namespace qvwfmscriptcompiler;

ScriptCompileSettings engineSettings() {
    ScriptCompileSettings settings;
    for (uint32_t id : {0u, 1u, 2u, 3u, 7u}) {
        settings.markerDictionary["marker" + std::to_string(id)] = id;
    }
    for (uint32_t id = 0; id < 4; ++id) {
        settings.scriptTriggerDictionary["scripttrigger" + std::to_string(id)] = id;
    }
    return settings;
}

std::string checkInvariants(const std::vector<CompiledScript>& scripts,
                            const ScriptCompileSettings& settings) {
    const uint32_t quantum = settings.alignmentQuantum;
    for (const CompiledScript& script : scripts) {
        if (script.steps.empty()) return script.name + ": no steps";
        for (const SequenceStep& step : script.steps) {
            if (step.segments.empty()) return script.name + ": empty step";
            if (step.loopType > kLoopTypeUntilTrigger) return script.name + ": loop type";
            if (step.loopType == kLoopTypeCount && step.loopCount < 1)
                return script.name + ": count";
            if ((step.loopType == kLoopTypeUntilTrigger) != (step.loopTrigger != 0)) {
                return script.name + ": loop trigger";
            }
            for (const SequenceSegment& segment : step.segments) {
                if (segment.isWait != segment.waveformName.empty()) return script.name + ": name";
                if (segment.startOffset % quantum != 0) return script.name + ": offset alignment";
                if (segment.length > 0 && segment.length % quantum != 0) {
                    return script.name + ": length alignment";
                }
                if (!segment.isWait && segment.length == 0) return script.name + ": empty subset";
                for (size_t i = 0; i < segment.markers.size(); ++i) {
                    const MarkerEvent& marker = segment.markers[i];
                    if (marker.markerMask == 0) return script.name + ": empty marker mask";
                    if (marker.position % quantum != 0) return script.name + ": marker alignment";
                    if (i > 0 && segment.markers[i - 1].position >= marker.position) {
                        return script.name + ": markers not strictly ascending";
                    }
                    if (segment.length >= 0 &&
                        int64_t{marker.position} >= int64_t{segment.length}) {
                        return script.name + ": marker outside the segment";
                    }
                }
            }
        }
    }
    return {};
}

}  // namespace scripttest
