#include "qvWfmScriptCompiler/SequenceGenerator.h"

namespace qvwfmscriptcompiler {

SequenceGenerator::SequenceGenerator(const ScriptCompileSettings& /*settings*/,
                                     NestingPoliciesInterface& policies,
                                     InstructionContainerTranslatorInterface& containerTranslator,
                                     const InstructionValidatorInterface& validator)
    : policies_(policies), containerTranslator_(containerTranslator), validator_(validator) {}

void SequenceGenerator::generate(const iParseTree& tree, std::vector<CompiledScript>& scripts) {
    const auto& collection = dynamic_cast<const ProcedureCollection&>(tree);
    scripts.resize(collection.procedures.size());
    for (size_t i = 0; i < collection.procedures.size(); ++i) {
        translateProcedure(*collection.procedures[i], scripts[i]);
    }
}

void SequenceGenerator::translateProcedure(const NamedProcedure& procedure,
                                           CompiledScript& script) {
    policies_.reset();
    policies_.enterProcedure(procedure);
    // Clears belong to the script they stand in: one left over from a
    // failed compile or trailing the previous script must not land here.
    containerTranslator_.discardPendingClear();
    script.name = procedure.name;
    script.repeatsForever = false;

    const auto& instructions = procedure.instructions;
    const auto* wholeLoop = instructions.size() == 1 && instructions[0]->type == kInstructionRepeat
                                ? dynamic_cast<const RepeatInstruction*>(instructions[0].get())
                                : nullptr;
    if (wholeLoop != nullptr && wholeLoop->loopKind == kLoopForever) {
        // The script is the loop: its steps are the body's, with no loop of
        // their own.
        script.repeatsForever = true;
        policies_.enterForeverLoop(*wholeLoop);
        containerTranslator_.translate(*wholeLoop, script.steps);
        validator_.checkClearNotLastInLoop(*wholeLoop, containerTranslator_.pendingClear() != 0);
        policies_.leaveForeverLoop();
    } else {
        containerTranslator_.translate(procedure, script.steps);
    }
    // A clear after the last segment has nothing to travel with.
    containerTranslator_.discardPendingClear();
    policies_.leaveProcedure();
}

}  // namespace qvwfmscriptcompiler
