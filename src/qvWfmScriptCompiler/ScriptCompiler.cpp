#include "qvWfmScriptCompiler/ScriptCompiler.h"

namespace qvwfmscriptcompiler {

ScriptCompiler::ScriptCompiler(const ScriptCompileSettings& settings)
    : parser_(ParserFactory::createParser(settings)),
      validator_(settings),
      fetchTranslator_(validator_),
      instructionTranslator_(settings, policies_, fetchTranslator_, validator_),
      containerTranslator_(settings, policies_, instructionTranslator_, validator_),
      generator_(settings, policies_, containerTranslator_, validator_) {}

ScriptCompiler::~ScriptCompiler() = default;

std::vector<CompiledScript> ScriptCompiler::compile(std::string_view text) {
    const std::unique_ptr<iParseTree> tree = parser_->parse(text);
    return _generate(*tree);
}

std::vector<CompiledScript> ScriptCompiler::compile(
    std::string_view text, const std::vector<std::string>& waveformNames,
    const std::vector<std::string>& markerNames,
    const std::vector<std::vector<uint32_t>>& markerPositions) {
    const std::unique_ptr<iParseTree> tree =
        parser_->parse(text, waveformNames, markerNames, markerPositions);
    return _generate(*tree);
}

std::vector<CompiledScript> ScriptCompiler::_generate(const iParseTree& tree) {
    std::vector<CompiledScript> scripts;
    generator_.generate(tree, scripts);
    return scripts;
}

}  // namespace qvwfmscriptcompiler
