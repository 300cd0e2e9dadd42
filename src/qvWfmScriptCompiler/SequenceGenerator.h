// Turns a parse tree into one compiled script per named script.
#pragma once

#include <vector>

#include "qvWfmScriptCompiler/InstructionValidator.h"
#include "qvWfmScriptCompiler/NestingPolicies.h"
#include "qvWfmScriptCompiler/ParseTree.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"
#include "qvWfmScriptCompiler/Translators.h"

namespace qvwfmscriptcompiler {

class SequenceGenerator {
public:
    SequenceGenerator(const ScriptCompileSettings& settings, NestingPoliciesInterface& policies,
                      InstructionContainerTranslatorInterface& containerTranslator,
                      const InstructionValidatorInterface& validator);
    SequenceGenerator(const SequenceGenerator&) = delete;
    SequenceGenerator& operator=(const SequenceGenerator&) = delete;
    virtual ~SequenceGenerator() = default;

    // `tree` must be a ProcedureCollection (else std::bad_cast). `scripts`
    // gets one entry per script, in text order. Throws qverr::Exception at
    // the first error; `scripts` is then incomplete.
    virtual void generate(const iParseTree& tree, std::vector<CompiledScript>& scripts);
    virtual void translateProcedure(const NamedProcedure& procedure, CompiledScript& script);

private:
    NestingPoliciesInterface& policies_;
    InstructionContainerTranslatorInterface& containerTranslator_;
    const InstructionValidatorInterface& validator_;
};

}  // namespace qvwfmscriptcompiler
