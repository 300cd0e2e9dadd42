#include "qvWfmScriptCompiler/ParseTree.h"

#include <utility>

namespace qvwfmscriptcompiler {

InstructionContainer::~InstructionContainer() {
    std::vector<std::unique_ptr<Instruction>> pending = std::move(instructions);
    while (!pending.empty()) {
        std::unique_ptr<Instruction> node = std::move(pending.back());
        pending.pop_back();
        if (auto* container = dynamic_cast<InstructionContainer*>(node.get())) {
            for (auto& child : container->instructions) {
                pending.push_back(std::move(child));
            }
            container->instructions.clear();
        }
    }
}

}  // namespace qvwfmscriptcompiler
