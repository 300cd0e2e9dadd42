// The recursive-descent parser of script texts, its facade and its factory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvWfmScriptCompiler/Lexer.h"
#include "qvWfmScriptCompiler/ParseTree.h"
#include "qvWfmScriptCompiler/ScriptCompileSettings.h"

namespace qvwfmscriptcompiler {

class ParserInterface {
public:
    virtual ~ParserInterface() = default;
    // Parses a text of one or more scripts into a ProcedureCollection.
    // Throws qverr::Exception at the first error.
    virtual std::unique_ptr<iParseTree> parse(std::string_view text) = 0;
    // As above, and gives every generate of waveform waveformNames[i] the
    // marker markerNames[i] at markerPositions[i], unless the generate names
    // that marker itself. The three tables run in parallel and serve this
    // parse only.
    virtual std::unique_ptr<iParseTree> parse(
        std::string_view text, const std::vector<std::string>& waveformNames,
        const std::vector<std::string>& markerNames,
        const std::vector<std::vector<uint32_t>>& markerPositions) = 0;
};

class ParserImpl : public ParserInterface {
public:
    ParserImpl(const ScriptCompileSettings& settings, LexerInterface& lexer);
    ParserImpl(const ParserImpl&) = delete;
    ParserImpl& operator=(const ParserImpl&) = delete;
    ~ParserImpl() override;

    std::unique_ptr<iParseTree> parse(std::string_view text) override;
    std::unique_ptr<iParseTree> parse(
        std::string_view text, const std::vector<std::string>& waveformNames,
        const std::vector<std::string>& markerNames,
        const std::vector<std::vector<uint32_t>>& markerPositions) override;

    // Nesting of repeats beyond which text is refused while parsing, which
    // keeps the parser's recursion bounded. Far above what any script may
    // hold (one loop inside a script made of one forever loop), so that the
    // translation still finds and reports every realistic nesting fault
    // where it stands, after the faults before it.
    static constexpr uint32_t kMaximumRepeatNesting = 64;

private:
    class MarkerTables;

    std::unique_ptr<iParseTree> _parse(std::string_view text, MarkerTables* tables);
    void _advance();
    bool _isName() const;
    void _expect(int32_t kind, const char* keyword);
    [[noreturn]] void _raiseKeywordExpected(const std::string& possibleKeywords) const;
    // A script or waveform name.
    std::string _readName();
    std::unique_ptr<NamedProcedure> _parseScript();
    // Appends to `container` the instructions up to the first token that
    // begins none.
    void _parseInstructions(InstructionContainer& container, uint32_t repeatDepth);
    std::unique_ptr<Instruction> _parseInstruction(uint32_t repeatDepth);
    std::unique_ptr<Instruction> _parseGenerate();
    std::unique_ptr<SubsetModifier> _parseSubset();
    // The marker modifiers at the current token, onto pendingMarkers_.
    void _parseMarkers();
    void _takePendingMarkers(FetchInstruction& instruction);
    uint32_t _readInteger();
    std::unique_ptr<Instruction> _parseWait();
    std::unique_ptr<Instruction> _parseRepeat(uint32_t repeatDepth);
    std::unique_ptr<Instruction> _parseClear();
    uint32_t _readScriptTrigger();

    const ScriptCompileSettings& settings_;
    LexerInterface& lexer_;
    Token current_;
    MarkerTables* tables_ = nullptr;  // only while a parse with tables runs
    // The lists of the nodes being parsed, innermost last: each list is
    // gathered here and then moved into its node at its final size, so
    // that the tree holds no grown-over copies. Emptied after each parse.
    std::vector<std::unique_ptr<Instruction>> pendingInstructions_;
    std::vector<std::unique_ptr<MarkerModifier>> pendingMarkers_;
    std::vector<uint32_t> pendingNumbers_;
};

// Owns the lexer and the parser implementation; releasing it releases both.
class Parser : public ParserInterface {
public:
    Parser(std::shared_ptr<LexerInterface> lexer, std::shared_ptr<ParserImpl> impl);

    std::unique_ptr<iParseTree> parse(std::string_view text) override;
    std::unique_ptr<iParseTree> parse(
        std::string_view text, const std::vector<std::string>& waveformNames,
        const std::vector<std::string>& markerNames,
        const std::vector<std::vector<uint32_t>>& markerPositions) override;

private:
    std::shared_ptr<LexerInterface> lexer_;  // declared first: outlives impl_
    std::shared_ptr<ParserImpl> impl_;
};

class ParserFactory {
public:
    virtual ~ParserFactory() = default;
    // A parser over a new lexer; both read `settings`, which must outlive them.
    static std::unique_ptr<ParserInterface> createParser(const ScriptCompileSettings& settings);
};

}  // namespace qvwfmscriptcompiler
