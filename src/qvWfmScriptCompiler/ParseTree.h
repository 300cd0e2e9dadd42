// The parse tree of a script text. Nodes share one iParseTree part through
// virtual inheritance, so a repeat reached as an Instruction or as an
// InstructionContainer has one position. Code that walks the tree tells the
// kinds apart by the instruction type and checked down-casts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qvwfmscriptcompiler {

class iParseTree {
public:
    virtual ~iParseTree() = default;

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

    std::vector<std::unique_ptr<Instruction>> instructions;
};

class MarkerModifier : public virtual iParseTree {
public:
    uint32_t marker = 0;              // the marker dictionary's id
    std::vector<uint32_t> positions;  // in text order
};

class SubsetModifier : public virtual iParseTree {
public:
    uint32_t startOffset = 0;
    uint32_t length = 0;
};

// A generate or a wait: an instruction that becomes one segment.
class FetchInstruction : public virtual Instruction {
public:
    std::vector<std::unique_ptr<MarkerModifier>> markers;
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
    std::vector<uint32_t> scriptTriggers;  // ids in text order
};

// One script.
class NamedProcedure : public virtual InstructionContainer {
public:
    std::string name;
};

// The root of a parse: the scripts in text order.
class ProcedureCollection : public virtual iParseTree {
public:
    std::vector<std::unique_ptr<NamedProcedure>> procedures;
};

}  // namespace qvwfmscriptcompiler
