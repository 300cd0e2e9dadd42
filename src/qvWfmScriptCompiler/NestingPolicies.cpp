#include "qvWfmScriptCompiler/NestingPolicies.h"

#include "qvWfmScriptCompiler/ErrorRaiser.h"

namespace qvwfmscriptcompiler {

void InstructionContainerNestingPolicies::reset() {
    procedure_ = foreverLoop_ = loop_ = Place{};
}

void InstructionContainerNestingPolicies::enterProcedure(const NamedProcedure& procedure) {
    procedure_ = Place{true, procedure.line, procedure.positionInLine};
}

void InstructionContainerNestingPolicies::leaveProcedure() {
    procedure_ = Place{};
}

void InstructionContainerNestingPolicies::enterForeverLoop(const RepeatInstruction& repeat) {
    foreverLoop_ = Place{true, repeat.line, repeat.positionInLine};
}

void InstructionContainerNestingPolicies::leaveForeverLoop() {
    foreverLoop_ = Place{};
}

void InstructionContainerNestingPolicies::enterLoop(const RepeatInstruction& repeat) {
    if (loop_.open) {
        QVWSC_ERROR(kErrorRepeatLoopNestingTooDeepInScript).at(repeat).raise();
    }
    loop_ = Place{true, repeat.line, repeat.positionInLine};
}

void InstructionContainerNestingPolicies::leaveLoop() {
    loop_ = Place{};
}

const InstructionContainerNestingPolicies::Place& InstructionContainerNestingPolicies::_current()
    const {
    if (loop_.open) {
        return loop_;
    }
    if (foreverLoop_.open) {
        return foreverLoop_;
    }
    return procedure_;
}

uint32_t InstructionContainerNestingPolicies::currentLine() const {
    return _current().line;
}

uint32_t InstructionContainerNestingPolicies::currentPositionInLine() const {
    return _current().positionInLine;
}

}  // namespace qvwfmscriptcompiler
