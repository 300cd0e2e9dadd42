// The parse tree of a script text. Nodes share one iParseTree part through
// virtual inheritance, so a repeat reached as an Instruction or as an
// InstructionContainer has one position. Code that walks the tree tells the
// kinds apart by the instruction type and checked down-casts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace qvwfmscriptcompiler {

// The storage of a parse tree's nodes and lists. A parse puts its whole tree
// into large blocks that it fills in text order and that the tree releases
// at once: as many small heap allocations, a large tree would lie scattered
// over the holes that earlier trees left, and walking and releasing it
// would miss the caches at every node once it outgrew them. Nodes and lists
// made outside a parse (trees built by hand) come from the heap; a tree may
// hold both kinds.
class ParseTreeArena {
public:
    // `expectedBytes`: a guess of the tree's size, to size the first block.
    explicit ParseTreeArena(size_t expectedBytes);
    ParseTreeArena(const ParseTreeArena&) = delete;
    ParseTreeArena& operator=(const ParseTreeArena&) = delete;
    ~ParseTreeArena();

    // Makes `arena` the storage of the nodes and lists this thread creates
    // while the scope lasts.
    class Scope {
    public:
        explicit Scope(ParseTreeArena& arena);
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope();

    private:
        ParseTreeArena* previous_;
    };

    // Storage aligned for any node or list element.
    static void* allocate(size_t bytes);
    static void release(void* storage) noexcept;
    static constexpr size_t kAlignment = 8;

private:
    struct Block;
    void* _take(size_t bytes);

    Block* last_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t nextBlockBytes_;
};

// An allocator of parse-tree storage for the tree's lists.
template <class T>
class ParseTreeAllocator {
public:
    static_assert(alignof(T) <= ParseTreeArena::kAlignment);
    using value_type = T;

    ParseTreeAllocator() noexcept = default;
    template <class U>
    ParseTreeAllocator(const ParseTreeAllocator<U>& /*other*/) noexcept {}

    T* allocate(size_t count) {
        if (count > static_cast<size_t>(-1) / 2 / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T*>(ParseTreeArena::allocate(count * sizeof(T)));
    }
    void deallocate(T* storage, size_t /*count*/) noexcept { ParseTreeArena::release(storage); }

    template <class U>
    bool operator==(const ParseTreeAllocator<U>& /*other*/) const noexcept {
        return true;
    }
};

// An owning or plain ordered list of the parse tree.
template <class T>
using ParseTreeList = std::vector<T, ParseTreeAllocator<T>>;

class iParseTree {
public:
    virtual ~iParseTree() = default;

    static void* operator new(size_t bytes) { return ParseTreeArena::allocate(bytes); }
    static void operator delete(void* storage) noexcept { ParseTreeArena::release(storage); }

    // Of the token that begins the node, 1-based; 0 for nodes that no text
    // wrote (markers taken from the waveform-marker tables).
    uint32_t line = 0;
    uint32_t positionInLine = 0;
};

// Instruction types: the token kinds of the instruction keywords.
enum InstructionType : uint32_t {
    kInstructionGenerate = 3,
    kInstructionRepeat = 5,
    kInstructionWait = 8,
    kInstructionClear = 9,
};

class Instruction : public virtual iParseTree {
public:
    uint32_t type = 0;
};

class InstructionContainer : public virtual iParseTree {
public:
    // Frees nested bodies with a work list rather than by recursion.
    ~InstructionContainer() override;

    ParseTreeList<std::unique_ptr<Instruction>> instructions;
};

class MarkerModifier : public virtual iParseTree {
public:
    uint32_t marker = 0;                // the marker dictionary's id
    ParseTreeList<uint32_t> positions;  // in text order
};

class SubsetModifier : public virtual iParseTree {
public:
    uint32_t startOffset = 0;
    uint32_t length = 0;
};

// A generate or a wait: an instruction that becomes one segment.
class FetchInstruction : public virtual Instruction {
public:
    ParseTreeList<std::unique_ptr<MarkerModifier>> markers;
};

class GenerateInstruction : public FetchInstruction {
public:
    std::string waveformName;
    std::unique_ptr<SubsetModifier> subset;  // null without a subset
};

enum WaitKind : uint32_t {
    kWaitSamples = 0,
    kWaitUntilTrigger = 1,
};

class WaitInstruction : public FetchInstruction {
public:
    uint32_t waitKind = kWaitSamples;
    uint32_t scriptTrigger = 0;  // id, for kWaitUntilTrigger
    uint32_t sampleCount = 0;    // for kWaitSamples
};

enum LoopKind : uint32_t {
    kLoopCounted = 1,
    kLoopForever = 2,
    kLoopUntilTrigger = 3,
};

// The body is the container's instruction list.
class RepeatInstruction : public virtual Instruction, public virtual InstructionContainer {
public:
    uint32_t loopKind = kLoopCounted;
    uint32_t iterations = 0;     // for kLoopCounted
    uint32_t scriptTrigger = 0;  // id, for kLoopUntilTrigger
};

class ClearInstruction : public virtual Instruction {
public:
    ParseTreeList<uint32_t> scriptTriggers;  // ids in text order
};

// One script.
class NamedProcedure : public virtual InstructionContainer {
public:
    std::string name;
};

// The root of a parse: the scripts in text order.
class ProcedureCollection : public virtual iParseTree {
public:
    // The storage of the nodes below, if a parse made them: released after them.
    std::unique_ptr<ParseTreeArena> arena;
    ParseTreeList<std::unique_ptr<NamedProcedure>> procedures;
};

}  // namespace qvwfmscriptcompiler
