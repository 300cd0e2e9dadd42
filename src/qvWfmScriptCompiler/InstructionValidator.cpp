#include "qvWfmScriptCompiler/InstructionValidator.h"

#include "qvWfmScriptCompiler/ErrorRaiser.h"

namespace qvwfmscriptcompiler {

InstructionValidator::InstructionValidator(const ScriptCompileSettings& settings)
    : settings_(settings) {}

uint32_t InstructionValidator::_quantum() const {
    const uint32_t quantum = settings_.alignmentQuantum;
    if (quantum == 0) {
        // Every alignment test would divide by it.
        detail::ErrorRaiser(qverr::qvapalerr_invalidParameter,
                            QVERR_LOCATION(detail::kComponent, "qvapalerr_invalidParameter"))
            .usage("kUsageTypeAlignmentQuantum", quantum)
            .raise();
    }
    return quantum;
}

void InstructionValidator::checkContainerGeneratesSamples(
    const InstructionContainer& container, const NestingPoliciesInterface& policies) const {
    for (const auto& instruction : container.instructions) {
        switch (instruction->type) {
            case kInstructionGenerate:
            case kInstructionRepeat:
                return;
            case kInstructionWait: {
                const auto* wait = dynamic_cast<const WaitInstruction*>(instruction.get());
                if (wait != nullptr && wait->waitKind == kWaitSamples) {
                    return;
                }
                break;
            }
            default:
                break;
        }
    }
    QVWSC_ERROR(kErrorLoopOrProcedureWithNoSamplesGenerated)
        .at(policies.currentLine(), policies.currentPositionInLine())
        .raise();
}

void InstructionValidator::checkSubsetLength(const GenerateInstruction& generate) const {
    if (generate.subset && static_cast<int32_t>(generate.subset->length) <= 0) {
        QVWSC_ERROR(kErrorInvalidSubsetLengthInScript).at(generate).raise();
    }
}

void InstructionValidator::checkNoMarkerInWait(const WaitInstruction& wait) const {
    if (!wait.markers.empty()) {
        QVWSC_ERROR(kErrorMarkerNotSupportedInWait).at(wait).raise();
    }
}

void InstructionValidator::checkClearNotLastInLoop(const RepeatInstruction& repeat,
                                                   bool clearPending) const {
    if (!clearPending) {
        return;
    }
    // A clear is pending only when the body ends with it.
    const iParseTree& last = repeat.instructions.empty()
                                 ? static_cast<const iParseTree&>(repeat)
                                 : static_cast<const iParseTree&>(*repeat.instructions.back());
    QVWSC_ERROR(kErrorClearIsLastInstructionOfLoopInScript).at(last).raise();
}

void InstructionValidator::checkLoopIterations(const RepeatInstruction& repeat) const {
    if (repeat.loopKind == kLoopCounted && static_cast<int32_t>(repeat.iterations) < 1) {
        QVWSC_ERROR(kErrorInvalidLoopIterationsInScript).at(repeat).raise();
    }
}

void InstructionValidator::checkMinimumWaitLength(const WaitInstruction& wait) const {
    if (wait.sampleCount < settings_.minimumWaitLength) {
        QVWSC_ERROR(kErrorNumSampsToWaitNotGreaterThanMinWaitLengthInScript)
            .at(wait)
            .usage("kUsageTypeNumberOfSamplesToWait", wait.sampleCount)
            .usage("kUsageTypeValMustBeGreaterThanOrEqualTo", settings_.minimumWaitLength)
            .raise();
    }
}

void InstructionValidator::checkMarkersInsideLength(const FetchInstruction& instruction,
                                                    int32_t length,
                                                    const std::vector<MarkerEvent>& markers) const {
    // Positions are unsigned: one of 2^31 or more lies beyond any length.
    if (!markers.empty() && int64_t{length} <= int64_t{markers.back().position}) {
        QVWSC_ERROR(kErrorMarkerPositionOutsideSubsetInScript).at(instruction).raise();
    }
}

void InstructionValidator::checkMarkerPositionsAligned(
    const FetchInstruction& instruction, const std::vector<MarkerEvent>& markers) const {
    const uint32_t quantum = _quantum();
    for (const MarkerEvent& marker : markers) {
        if (marker.position % quantum != 0) {
            QVWSC_ERROR(kErrorMarkerPositionNotMultipleOfQuantum)
                .at(instruction)
                .usage("kUsageTypeMarkerPosition", static_cast<int32_t>(marker.position))
                .usage("kUsageTypeAlignmentQuantum", quantum)
                .raise();
        }
    }
}

void InstructionValidator::checkSubsetLengthAligned(const FetchInstruction& instruction,
                                                    int32_t length) const {
    const uint32_t quantum = _quantum();
    if (length > 0 && static_cast<uint32_t>(length) % quantum != 0) {
        QVWSC_ERROR(kErrorSubsetLengthNotMultipleOfQuantum)
            .at(instruction)
            .usage("kUsageTypeSubsetLength", length)
            .usage("kUsageTypeAlignmentQuantum", quantum)
            .raise();
    }
}

void InstructionValidator::checkStartOffsetAligned(const FetchInstruction& instruction,
                                                   uint32_t startOffset) const {
    const uint32_t quantum = _quantum();
    if (startOffset % quantum != 0) {
        QVWSC_ERROR(kErrorStartOffsetNotMultipleOfQuantum)
            .at(instruction)
            .usage("kUsageTypeSubsetStartOffset", startOffset)
            .usage("kUsageTypeAlignmentQuantum", quantum)
            .raise();
    }
}

void InstructionValidator::checkWaitLengthAligned(const WaitInstruction& wait) const {
    const uint32_t quantum = _quantum();
    if (wait.sampleCount % quantum != 0) {
        QVWSC_ERROR(kErrorNumSamplesToWaitNotMultipleOfQuantum)
            .at(wait)
            .usage("kUsageTypeNumberOfSamplesToWait", wait.sampleCount)
            .usage("kUsageTypeAlignmentQuantum", quantum)
            .raise();
    }
}

}  // namespace qvwfmscriptcompiler
