// Shared by the tests, the fuzz target and the benchmark: the settings the
// generation engine makes, and what every compiled script must satisfy.
#pragma once

#include <string>
#include <vector>

#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"

namespace scripttest {

// The dictionaries the generation engine fills; quantum 1, no minimum wait.
qvwfmscriptcompiler::ScriptCompileSettings engineSettings();

// The first broken rule, or "" when all hold.
std::string checkInvariants(const std::vector<qvwfmscriptcompiler::CompiledScript>& scripts,
                            const qvwfmscriptcompiler::ScriptCompileSettings& settings);

}  // namespace scripttest
