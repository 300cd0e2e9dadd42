// The compiler objects of one generation engine, made once and used for
// every script text written to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvWfmScriptCompiler/InstructionValidator.h"
#include "qvWfmScriptCompiler/NestingPolicies.h"
#include "qvWfmScriptCompiler/Parser.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"
#include "qvWfmScriptCompiler/SequenceGenerator.h"
#include "qvWfmScriptCompiler/Translators.h"

namespace qvwfmscriptcompiler {

class ScriptCompiler {
public:
    // `settings` must outlive the compiler.
    explicit ScriptCompiler(const ScriptCompileSettings& settings);
    ScriptCompiler(const ScriptCompiler&) = delete;
    ScriptCompiler& operator=(const ScriptCompiler&) = delete;
    ~ScriptCompiler();

    // One compiled script per script of `text`, in text order. Throws
    // qverr::Exception at the first error.
    std::vector<CompiledScript> compile(std::string_view text);
    // As above, with the waveform-marker tables (see ParserInterface).
    std::vector<CompiledScript> compile(std::string_view text,
                                        const std::vector<std::string>& waveformNames,
                                        const std::vector<std::string>& markerNames,
                                        const std::vector<std::vector<uint32_t>>& markerPositions);

private:
    std::vector<CompiledScript> _generate(const iParseTree& tree);

    // In order of construction; each takes the ones before it.
    InstructionContainerNestingPolicies policies_;
    std::unique_ptr<ParserInterface> parser_;
    InstructionValidator validator_;
    FetchInstructionTranslator fetchTranslator_;
    InstructionTranslator instructionTranslator_;
    InstructionContainerTranslator containerTranslator_;
    SequenceGenerator generator_;
};

}  // namespace qvwfmscriptcompiler
