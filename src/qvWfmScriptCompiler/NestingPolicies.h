// Tracks the script and the loops being translated: limits loop nesting and
// tells the validator where to report a body that generates nothing.
#pragma once

#include <cstdint>

#include "qvWfmScriptCompiler/ParseTree.h"

namespace qvwfmscriptcompiler {

class NestingPoliciesInterface {
public:
    virtual ~NestingPoliciesInterface() = default;
    virtual void reset() = 0;
    virtual void enterProcedure(const NamedProcedure& procedure) = 0;
    virtual void leaveProcedure() = 0;
    // A forever loop that is a whole script; it may hold one level of loops.
    virtual void enterForeverLoop(const RepeatInstruction& repeat) = 0;
    virtual void leaveForeverLoop() = 0;
    // Throws kErrorRepeatLoopNestingTooDeepInScript when a loop is open.
    virtual void enterLoop(const RepeatInstruction& repeat) = 0;
    virtual void leaveLoop() = 0;
    // The open loop, else the open whole-script loop, else the script.
    virtual uint32_t currentLine() const = 0;
    virtual uint32_t currentPositionInLine() const = 0;
};

class InstructionContainerNestingPolicies : public NestingPoliciesInterface {
public:
    void reset() override;
    void enterProcedure(const NamedProcedure& procedure) override;
    void leaveProcedure() override;
    void enterForeverLoop(const RepeatInstruction& repeat) override;
    void leaveForeverLoop() override;
    void enterLoop(const RepeatInstruction& repeat) override;
    void leaveLoop() override;
    uint32_t currentLine() const override;
    uint32_t currentPositionInLine() const override;

private:
    struct Place {
        bool open = false;
        uint32_t line = 0;
        uint32_t positionInLine = 0;
    };
    const Place& _current() const;

    Place procedure_;
    Place foreverLoop_;
    Place loop_;
};

}  // namespace qvwfmscriptcompiler
