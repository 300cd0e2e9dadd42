// What every compiled script must satisfy, whatever text it came from.
#pragma once

#include <string>
#include <vector>

#include "qvWfmScriptCompiler/ScriptCompileSettings.h"
#include "qvWfmScriptCompiler/Sequence.h"

namespace scripttest {

// The first broken rule, or "" when all hold.
std::string checkInvariants(const std::vector<qvwfmscriptcompiler::CompiledScript>& scripts,
                            const qvwfmscriptcompiler::ScriptCompileSettings& settings);

}  // namespace scripttest
