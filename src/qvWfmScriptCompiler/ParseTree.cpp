#include "qvWfmScriptCompiler/ParseTree.h"

#include <algorithm>
#include <utility>

namespace qvwfmscriptcompiler {
namespace {

// Every piece of storage starts with a word that says where it came from,
// so that releasing it needs nothing but its address.
constexpr uint64_t kFromHeap = 0x68656170u;
constexpr uint64_t kFromArena = 0x6172656eu;
constexpr size_t kHeader = sizeof(uint64_t);
static_assert(kHeader % ParseTreeArena::kAlignment == 0);
static_assert(alignof(GenerateInstruction) <= ParseTreeArena::kAlignment &&
              alignof(WaitInstruction) <= ParseTreeArena::kAlignment &&
              alignof(RepeatInstruction) <= ParseTreeArena::kAlignment &&
              alignof(ClearInstruction) <= ParseTreeArena::kAlignment &&
              alignof(NamedProcedure) <= ParseTreeArena::kAlignment &&
              alignof(ProcedureCollection) <= ParseTreeArena::kAlignment &&
              alignof(MarkerModifier) <= ParseTreeArena::kAlignment &&
              alignof(SubsetModifier) <= ParseTreeArena::kAlignment);

constexpr size_t kSmallestBlock = size_t{4} << 10;
// Blocks above the allocator's largest mapping threshold would be mapped
// afresh, and their pages faulted in, at every parse.
constexpr size_t kLargestBlock = size_t{16} << 20;

thread_local ParseTreeArena* tCurrentArena = nullptr;

size_t roundUp(size_t bytes) {
    return (bytes + ParseTreeArena::kAlignment - 1) & ~(ParseTreeArena::kAlignment - 1);
}

}  // namespace

struct ParseTreeArena::Block {
    Block* previous;
};

ParseTreeArena::ParseTreeArena(size_t expectedBytes)
    : nextBlockBytes_(std::clamp(roundUp(expectedBytes), kSmallestBlock, kLargestBlock)) {}

ParseTreeArena::~ParseTreeArena() {
    while (last_ != nullptr) {
        Block* const previous = last_->previous;
        ::operator delete(last_);
        last_ = previous;
    }
}

ParseTreeArena::Scope::Scope(ParseTreeArena& arena) : previous_(tCurrentArena) {
    tCurrentArena = &arena;
}

ParseTreeArena::Scope::~Scope() {
    tCurrentArena = previous_;
}

void* ParseTreeArena::_take(size_t bytes) {
    if (static_cast<size_t>(end_ - cursor_) < bytes) {
        const size_t blockHeader = roundUp(sizeof(Block));
        const size_t blockBytes = std::max(nextBlockBytes_, blockHeader + bytes);
        auto* block = static_cast<Block*>(::operator new(blockBytes));
        block->previous = last_;
        last_ = block;
        cursor_ = reinterpret_cast<char*>(block) + blockHeader;
        end_ = reinterpret_cast<char*>(block) + blockBytes;
        nextBlockBytes_ = std::min(2 * nextBlockBytes_, kLargestBlock);
    }
    void* const storage = cursor_;
    cursor_ += bytes;
    return storage;
}

void* ParseTreeArena::allocate(size_t bytes) {
    const size_t total = kHeader + roundUp(bytes);
    void* header;
    uint64_t origin;
    if (tCurrentArena != nullptr) {
        header = tCurrentArena->_take(total);
        origin = kFromArena;
    } else {
        header = ::operator new(total);
        origin = kFromHeap;
    }
    *static_cast<uint64_t*>(header) = origin;
    return static_cast<char*>(header) + kHeader;
}

void ParseTreeArena::release(void* storage) noexcept {
    if (storage == nullptr) {
        return;
    }
    void* const header = static_cast<char*>(storage) - kHeader;
    // Storage in an arena goes with the arena.
    if (*static_cast<const uint64_t*>(header) == kFromHeap) {
        ::operator delete(header);
    }
}

InstructionContainer::~InstructionContainer() {
    ParseTreeList<std::unique_ptr<Instruction>> pending = std::move(instructions);
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
