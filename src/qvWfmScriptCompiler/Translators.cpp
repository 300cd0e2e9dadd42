#include "qvWfmScriptCompiler/Translators.h"

#include <algorithm>

#include "qvWfmScriptCompiler/ErrorRaiser.h"

namespace qvwfmscriptcompiler {
namespace {

template <typename Node>
const Node& downCast(const Instruction& instruction) {
    const auto* node = dynamic_cast<const Node*>(&instruction);
    if (node == nullptr) {
        QVWSC_SOFTWARE_FAULT().raise();
    }
    return *node;
}

}  // namespace

// ---- FetchInstructionTranslator

FetchInstructionTranslator::FetchInstructionTranslator(
    const InstructionValidatorInterface& validator)
    : validator_(validator) {}

void FetchInstructionTranslator::translateFetch(const FetchInstruction& instruction,
                                                const std::string& waveformName, bool isWait,
                                                uint32_t startOffset, int32_t length,
                                                uint8_t triggerCode, uint8_t clearMask,
                                                SequenceStep& step) {
    SequenceSegment segment;
    segment.waveformName = waveformName;
    segment.triggerCode = triggerCode;
    segment.startOffset = startOffset;
    segment.length = length;
    segment.isWait = isWait;
    segment.clearMask = clearMask;
    buildMarkerList(instruction.markers, segment.markers);
    if (length != -1) {
        validator_.checkMarkersInsideLength(instruction, length, segment.markers);
    }
    validator_.checkMarkerPositionsAligned(instruction, segment.markers);
    validator_.checkSubsetLengthAligned(instruction, length);
    validator_.checkStartOffsetAligned(instruction, startOffset);
    step.segments.push_back(std::move(segment));
}

void FetchInstructionTranslator::buildMarkerList(
    const ParseTreeList<std::unique_ptr<MarkerModifier>>& modifiers,
    std::vector<MarkerEvent>& markers) {
    markers.clear();
    size_t count = 0;
    for (const auto& modifier : modifiers) {
        count += modifier->positions.size();
    }
    markers.reserve(count);
    for (const auto& modifier : modifiers) {
        if (modifier->marker > kLargestMarkerId) {
            // The parser refuses such markers; a tree built otherwise is a fault.
            QVWSC_SOFTWARE_FAULT().raise();
        }
        const auto bit = static_cast<uint8_t>(1u << modifier->marker);
        for (uint32_t position : modifier->positions) {
            markers.push_back(MarkerEvent{position, bit});
        }
    }
    std::sort(markers.begin(), markers.end(),
              [](const MarkerEvent& a, const MarkerEvent& b) { return a.position < b.position; });
    // Merge the markers that share a position into one event.
    size_t kept = 0;
    for (size_t i = 0; i < markers.size(); ++i) {
        if (kept > 0 && markers[kept - 1].position == markers[i].position) {
            markers[kept - 1].markerMask |= markers[i].markerMask;
        } else {
            markers[kept++] = markers[i];
        }
    }
    markers.resize(kept);
}

// ---- InstructionTranslator

InstructionTranslator::InstructionTranslator(const ScriptCompileSettings& settings,
                                             NestingPoliciesInterface& policies,
                                             FetchInstructionTranslatorInterface& fetchTranslator,
                                             const InstructionValidatorInterface& validator)
    : settings_(settings),
      policies_(policies),
      fetchTranslator_(fetchTranslator),
      validator_(validator) {}

void InstructionTranslator::translateGenerate(const GenerateInstruction& generate,
                                              SequenceStep& step) {
    uint32_t startOffset = 0;
    int32_t length = -1;
    if (generate.subset) {
        validator_.checkSubsetLength(generate);
        startOffset = generate.subset->startOffset;
        length = static_cast<int32_t>(generate.subset->length);
    }
    fetchTranslator_.translateFetch(generate, generate.waveformName, false, startOffset, length, 0,
                                    pendingClearMask_, step);
    pendingClearMask_ = 0;
}

void InstructionTranslator::translateWaitSamples(const WaitInstruction& wait, SequenceStep& step) {
    validator_.checkMinimumWaitLength(wait);
    validator_.checkWaitLengthAligned(wait);
    fetchTranslator_.translateFetch(wait, std::string(), true, 0,
                                    static_cast<int32_t>(wait.sampleCount), 0, pendingClearMask_,
                                    step);
    pendingClearMask_ = 0;
}

void InstructionTranslator::translateWaitUntil(const WaitInstruction& wait, SequenceStep& step) {
    validator_.checkNoMarkerInWait(wait);
    const uint8_t code = triggerCode(wait.scriptTrigger);
    fetchTranslator_.translateFetch(wait, std::string(), true, 0,
                                    static_cast<int32_t>(settings_.minimumWaitLength), code,
                                    pendingClearMask_, step);
    pendingClearMask_ = 0;
}

void InstructionTranslator::translateClear(const ClearInstruction& clear) {
    for (uint32_t scriptTrigger : clear.scriptTriggers) {
        pendingClearMask_ |= static_cast<uint8_t>(1u << (triggerCode(scriptTrigger) - 1));
    }
}

void InstructionTranslator::translateRepeat(
    const RepeatInstruction& repeat, InstructionContainerTranslatorInterface& containerTranslator,
    std::vector<SequenceStep>& steps) {
    validator_.checkLoopIterations(repeat);
    policies_.enterLoop(repeat);
    const uint8_t clearsBeforeLoop = pendingClearMask_;
    pendingClearMask_ = 0;
    containerTranslator.translate(repeat, steps);
    policies_.leaveLoop();
    validator_.checkClearNotLastInLoop(repeat, pendingClearMask_ != 0);

    if (steps.empty()) {
        QVWSC_SOFTWARE_FAULT().raise();
    }
    SequenceStep& step = steps.back();  // the body's step
    step.clearBeforeLoop = clearsBeforeLoop;
    switch (repeat.loopKind) {
        case kLoopCounted:
            step.loopType = kLoopTypeCount;
            step.loopCount = repeat.iterations;
            break;
        case kLoopForever:
            step.loopType = kLoopTypeForever;
            break;
        case kLoopUntilTrigger:
            step.loopType = kLoopTypeUntilTrigger;
            step.loopTrigger = triggerCode(repeat.scriptTrigger);
            break;
        default:
            QVWSC_SOFTWARE_FAULT().raise();
    }
}

uint8_t InstructionTranslator::triggerCode(uint32_t scriptTrigger) const {
    if (scriptTrigger > kLargestScriptTriggerId) {
        QVWSC_SOFTWARE_FAULT().raise();
    }
    return scriptTrigger == kLargestScriptTriggerId ? uint8_t{1}
                                                    : static_cast<uint8_t>(scriptTrigger + 2);
}

void InstructionTranslator::setPendingClearMask(uint8_t mask) {
    pendingClearMask_ = mask;
}

uint8_t InstructionTranslator::pendingClearMask() const {
    return pendingClearMask_;
}

// ---- InstructionContainerTranslator

InstructionContainerTranslator::InstructionContainerTranslator(
    const ScriptCompileSettings& /*settings*/, NestingPoliciesInterface& policies,
    InstructionTranslatorInterface& instructionTranslator,
    const InstructionValidatorInterface& validator)
    : policies_(policies), instructionTranslator_(instructionTranslator), validator_(validator) {}

void InstructionContainerTranslator::translate(const InstructionContainer& container,
                                               std::vector<SequenceStep>& steps) {
    validator_.checkContainerGeneratesSamples(container, policies_);
    // Generates and waits gather in one step until a loop intervenes; each
    // loop's body becomes a step of its own.
    const auto& instructions = container.instructions;
    bool newStep = true;
    size_t at = 0;
    auto currentStep = [&]() -> SequenceStep& {
        if (newStep) {
            // Room for the step's segments at once, rather than grown over
            // and over in a long step.
            size_t segments = 0;
            for (size_t i = at;
                 i < instructions.size() && instructions[i]->type != kInstructionRepeat; ++i) {
                segments += instructions[i]->type != kInstructionClear;
            }
            steps.emplace_back().segments.reserve(segments);
            newStep = false;
        }
        return steps.back();
    };
    for (; at < instructions.size(); ++at) {
        const auto& instruction = instructions[at];
        switch (instruction->type) {
            case kInstructionRepeat:
                newStep = true;
                instructionTranslator_.translateRepeat(downCast<RepeatInstruction>(*instruction),
                                                       *this, steps);
                break;
            case kInstructionGenerate: {
                const auto& generate = downCast<GenerateInstruction>(*instruction);
                instructionTranslator_.translateGenerate(generate, currentStep());
                break;
            }
            case kInstructionWait: {
                const auto& wait = downCast<WaitInstruction>(*instruction);
                SequenceStep& step = currentStep();
                if (wait.waitKind == kWaitUntilTrigger) {
                    instructionTranslator_.translateWaitUntil(wait, step);
                } else {
                    instructionTranslator_.translateWaitSamples(wait, step);
                }
                break;
            }
            case kInstructionClear:
                instructionTranslator_.translateClear(downCast<ClearInstruction>(*instruction));
                break;
            default:
                QVWSC_SOFTWARE_FAULT().raise();
        }
    }
}

uint8_t InstructionContainerTranslator::pendingClear() const {
    return instructionTranslator_.pendingClearMask();
}

void InstructionContainerTranslator::discardPendingClear() {
    instructionTranslator_.setPendingClearMask(0);
}

}  // namespace qvwfmscriptcompiler
