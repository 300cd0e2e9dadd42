// The rules of the script language that the grammar cannot express. The
// translators call one rule at a time; each returns or throws its error.
#pragma once

#include <cstdint>
#include <vector>

#include "qvWfmScriptCompiler/NestingPolicies.h"
#include "qvWfmScriptCompiler/ParseTree.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"

namespace qvwfmscriptcompiler {

class InstructionValidatorInterface {
public:
    virtual ~InstructionValidatorInterface() = default;
    // Some instruction must produce samples: a generate, a repeat or a wait
    // of a number of samples. Reported where the policies point.
    virtual void checkContainerGeneratesSamples(const InstructionContainer& container,
                                                const NestingPoliciesInterface& policies) const = 0;
    virtual void checkSubsetLength(const GenerateInstruction& generate) const = 0;
    virtual void checkNoMarkerInWait(const WaitInstruction& wait) const = 0;
    virtual void checkClearNotLastInLoop(const RepeatInstruction& repeat,
                                         bool clearPending) const = 0;
    virtual void checkLoopIterations(const RepeatInstruction& repeat) const = 0;
    virtual void checkMinimumWaitLength(const WaitInstruction& wait) const = 0;
    // Every marker must lie before `length`.
    virtual void checkMarkersInsideLength(const FetchInstruction& instruction, int32_t length,
                                          const std::vector<MarkerEvent>& markers) const = 0;
    virtual void checkMarkerPositionsAligned(const FetchInstruction& instruction,
                                             const std::vector<MarkerEvent>& markers) const = 0;
    virtual void checkSubsetLengthAligned(const FetchInstruction& instruction,
                                          int32_t length) const = 0;
    virtual void checkStartOffsetAligned(const FetchInstruction& instruction,
                                         uint32_t startOffset) const = 0;
    virtual void checkWaitLengthAligned(const WaitInstruction& wait) const = 0;
};

class InstructionValidator : public InstructionValidatorInterface {
public:
    explicit InstructionValidator(const ScriptCompileSettings& settings);
    InstructionValidator(const InstructionValidator&) = delete;
    InstructionValidator& operator=(const InstructionValidator&) = delete;

    void checkContainerGeneratesSamples(const InstructionContainer& container,
                                        const NestingPoliciesInterface& policies) const override;
    void checkSubsetLength(const GenerateInstruction& generate) const override;
    void checkNoMarkerInWait(const WaitInstruction& wait) const override;
    void checkClearNotLastInLoop(const RepeatInstruction& repeat, bool clearPending) const override;
    void checkLoopIterations(const RepeatInstruction& repeat) const override;
    void checkMinimumWaitLength(const WaitInstruction& wait) const override;
    void checkMarkersInsideLength(const FetchInstruction& instruction, int32_t length,
                                  const std::vector<MarkerEvent>& markers) const override;
    void checkMarkerPositionsAligned(const FetchInstruction& instruction,
                                     const std::vector<MarkerEvent>& markers) const override;
    void checkSubsetLengthAligned(const FetchInstruction& instruction,
                                  int32_t length) const override;
    void checkStartOffsetAligned(const FetchInstruction& instruction,
                                 uint32_t startOffset) const override;
    void checkWaitLengthAligned(const WaitInstruction& wait) const override;

private:
    uint32_t _quantum() const;

    const ScriptCompileSettings& settings_;
};

}  // namespace qvwfmscriptcompiler
