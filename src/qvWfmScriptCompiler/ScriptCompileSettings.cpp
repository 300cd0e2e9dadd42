#include "qvWfmScriptCompiler/ScriptCompileSettings.h"

namespace qvwfmscriptcompiler {

std::string joinNames(const NameDictionary& dictionary) {
    std::string joined;
    bool first = true;
    for (const auto& entry : dictionary) {
        if (!first) {
            joined += ", ";
        }
        joined += entry.first;
        first = false;
    }
    return joined;
}

}  // namespace qvwfmscriptcompiler
