// Cuts a script text into classified tokens with their line and column.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "qvWfmScriptCompiler/ScriptCompileSettings.h"

namespace qvwfmscriptcompiler {

// Token kinds. The parse tree stores the kind of an instruction's keyword as
// the instruction type, so the numbers are fixed.
enum TokenKind : int32_t {
    kTokenWord = 0,
    kTokenScript = 1,
    kTokenEnd = 2,
    kTokenGenerate = 3,
    kTokenSubset = 4,
    kTokenRepeat = 5,
    kTokenForever = 6,
    kTokenUntil = 7,
    kTokenWait = 8,
    kTokenClear = 9,
    kTokenInteger = 10,
    kTokenMarkerName = 11,
    kTokenScriptTriggerName = 12,
    kTokenOpenParenthesis = 13,
    kTokenCloseParenthesis = 14,
    kTokenComma = 15,
    kTokenEndOfInput = 16,
    kTokenIf = 17,
    kTokenElse = 18,
    kTokenBreak = 19,
    kTokenOn = 20,
    kTokenStream = 21,
};

struct Token {
    int32_t kind = kTokenEndOfInput;
    std::string text;    // as written; "" at end of input
    uint32_t value = 0;  // integer value or dictionary id; 0 otherwise
    uint32_t line = 1;   // of the token's first character, 1-based
    uint32_t column = 1;
};

class LexerInterface {
public:
    virtual ~LexerInterface() = default;
    // Starts over on a copy of `text` at line 1, column 1.
    virtual void setScript(std::string_view text) = 0;
    // The next token; end-of-input tokens for ever after the text ends.
    // Throws qverr::Exception on an invalid character, a lone "/", a word
    // that starts with a digit but is no integer, or an integer too large.
    virtual Token nextToken() = 0;
};

class Lexer : public LexerInterface {
public:
    explicit Lexer(const ScriptCompileSettings& settings);
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    void setScript(std::string_view text) override;
    Token nextToken() override;

private:
    // A dictionary as seen by words, which are ASCII: when every name is
    // ASCII too, case folding is ASCII lower-casing and a hash look-up of
    // the lowered word finds the name. Most words are no name at all: the
    // lengths and first letters of the names turn them away unhashed.
    struct WordDictionary {
        const NameDictionary* names = nullptr;
        bool ascii = false;
        std::unordered_map<std::string, uint32_t> lowered;
        uint64_t lengths = 0;           // bit n: a name of n letters (63: or more)
        std::bitset<128> firstLetters;  // of the lowered names
        void prepare(const NameDictionary& dictionary);
        const uint32_t* find(std::string_view word, const std::string& loweredWord) const;
    };

    void _skipBlanksAndComments();
    Token _readWord();
    void _classify(Token& token);

    const ScriptCompileSettings& settings_;
    WordDictionary markers_;
    WordDictionary scriptTriggers_;
    std::string loweredWord_;
    std::string text_;
    size_t cursor_ = 0;
    uint32_t line_ = 1;
    uint32_t column_ = 1;
};

}  // namespace qvwfmscriptcompiler
