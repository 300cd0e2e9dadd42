// Canonical text of compile results and errors, for comparing runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ScriptSupport.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/ScriptCompiler.h"
#include "qvWfmScriptCompiler/Sequence.h"
#include "qverr/Exception.h"

namespace scripttest {

struct MarkerTables {
    std::vector<std::string> waveformNames;
    std::vector<std::string> markerNames;
    std::vector<std::vector<uint32_t>> markerPositions;
};

std::string dumpScripts(const std::vector<qvwfmscriptcompiler::CompiledScript>& scripts);
// "error <constant> <code>" and one line per usage record.
std::string dumpError(const qverr::ExceptionBase& error);
// Every token up to the end of input, or up to the lexer's error.
std::string dumpTokens(const qvwfmscriptcompiler::ScriptCompileSettings& settings,
                       std::string_view text);
// The compiled scripts or the error.
std::string compileAndDump(qvwfmscriptcompiler::ScriptCompiler& compiler, std::string_view text,
                           const MarkerTables* tables = nullptr);

}  // namespace scripttest
