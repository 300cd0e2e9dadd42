// Translation of one script's instructions into sequence steps: the
// container translator groups instructions into steps, the instruction
// translator handles each kind (and keeps the pending clears), the fetch
// translator builds one segment with its markers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvWfmScriptCompiler/InstructionValidator.h"
#include "qvWfmScriptCompiler/NestingPolicies.h"
#include "qvWfmScriptCompiler/ParseTree.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"

namespace qvwfmscriptcompiler {

class InstructionContainerTranslatorInterface {
public:
    virtual ~InstructionContainerTranslatorInterface() = default;
    // Appends the steps of `container`'s instructions to `steps`.
    virtual void translate(const InstructionContainer& container,
                           std::vector<SequenceStep>& steps) = 0;
    // The clear mask not yet attached to a segment or loop (0: none).
    virtual uint8_t pendingClear() const = 0;
    // Forgets clears that no segment followed (at the end of a script).
    virtual void discardPendingClear() = 0;
};

class InstructionTranslatorInterface {
public:
    virtual ~InstructionTranslatorInterface() = default;
    virtual void translateGenerate(const GenerateInstruction& generate, SequenceStep& step) = 0;
    virtual void translateRepeat(const RepeatInstruction& repeat,
                                 InstructionContainerTranslatorInterface& containerTranslator,
                                 std::vector<SequenceStep>& steps) = 0;
    virtual void translateWaitUntil(const WaitInstruction& wait, SequenceStep& step) = 0;
    virtual void translateWaitSamples(const WaitInstruction& wait, SequenceStep& step) = 0;
    virtual void translateClear(const ClearInstruction& clear) = 0;
    // Script-trigger id 0..6 -> code 2..8, id 7 -> code 1.
    virtual uint8_t triggerCode(uint32_t scriptTrigger) const = 0;
    virtual void setPendingClearMask(uint8_t mask) = 0;
    virtual uint8_t pendingClearMask() const = 0;
};

class FetchInstructionTranslatorInterface {
public:
    virtual ~FetchInstructionTranslatorInterface() = default;
    // Appends one segment, with the instruction's markers, to `step`.
    virtual void translateFetch(const FetchInstruction& instruction,
                                const std::string& waveformName, bool isWait, uint32_t startOffset,
                                int32_t length, uint8_t triggerCode, uint8_t clearMask,
                                SequenceStep& step) = 0;
    // The modifiers' positions, ascending, markers at one position merged.
    virtual void buildMarkerList(const ParseTreeList<std::unique_ptr<MarkerModifier>>& modifiers,
                                 std::vector<MarkerEvent>& markers) = 0;
};

class FetchInstructionTranslator : public FetchInstructionTranslatorInterface {
public:
    explicit FetchInstructionTranslator(const InstructionValidatorInterface& validator);
    FetchInstructionTranslator(const FetchInstructionTranslator&) = delete;
    FetchInstructionTranslator& operator=(const FetchInstructionTranslator&) = delete;

    void translateFetch(const FetchInstruction& instruction, const std::string& waveformName,
                        bool isWait, uint32_t startOffset, int32_t length, uint8_t triggerCode,
                        uint8_t clearMask, SequenceStep& step) override;
    void buildMarkerList(const ParseTreeList<std::unique_ptr<MarkerModifier>>& modifiers,
                         std::vector<MarkerEvent>& markers) override;

private:
    const InstructionValidatorInterface& validator_;
};

class InstructionTranslator : public InstructionTranslatorInterface {
public:
    InstructionTranslator(const ScriptCompileSettings& settings, NestingPoliciesInterface& policies,
                          FetchInstructionTranslatorInterface& fetchTranslator,
                          const InstructionValidatorInterface& validator);
    InstructionTranslator(const InstructionTranslator&) = delete;
    InstructionTranslator& operator=(const InstructionTranslator&) = delete;

    void translateGenerate(const GenerateInstruction& generate, SequenceStep& step) override;
    void translateRepeat(const RepeatInstruction& repeat,
                         InstructionContainerTranslatorInterface& containerTranslator,
                         std::vector<SequenceStep>& steps) override;
    void translateWaitUntil(const WaitInstruction& wait, SequenceStep& step) override;
    void translateWaitSamples(const WaitInstruction& wait, SequenceStep& step) override;
    void translateClear(const ClearInstruction& clear) override;
    uint8_t triggerCode(uint32_t scriptTrigger) const override;
    void setPendingClearMask(uint8_t mask) override;
    uint8_t pendingClearMask() const override;

private:
    const ScriptCompileSettings& settings_;
    NestingPoliciesInterface& policies_;
    FetchInstructionTranslatorInterface& fetchTranslator_;
    const InstructionValidatorInterface& validator_;
    uint8_t pendingClearMask_ = 0;
};

class InstructionContainerTranslator : public InstructionContainerTranslatorInterface {
public:
    InstructionContainerTranslator(const ScriptCompileSettings& settings,
                                   NestingPoliciesInterface& policies,
                                   InstructionTranslatorInterface& instructionTranslator,
                                   const InstructionValidatorInterface& validator);
    InstructionContainerTranslator(const InstructionContainerTranslator&) = delete;
    InstructionContainerTranslator& operator=(const InstructionContainerTranslator&) = delete;

    void translate(const InstructionContainer& container,
                   std::vector<SequenceStep>& steps) override;
    uint8_t pendingClear() const override;
    void discardPendingClear() override;

private:
    NestingPoliciesInterface& policies_;
    InstructionTranslatorInterface& instructionTranslator_;
    const InstructionValidatorInterface& validator_;
};

}  // namespace qvwfmscriptcompiler
