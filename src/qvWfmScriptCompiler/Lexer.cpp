#include "qvWfmScriptCompiler/Lexer.h"

#include <algorithm>
#include <array>

#include "qvWfmScriptCompiler/ErrorRaiser.h"
#include "qvWfmScriptCompiler/Keywords.h"

namespace qvwfmscriptcompiler {
namespace {

enum CharClass : uint8_t { kInvalid = 0, kWordChar = 1, kBlank = 2, kDelimiter = 3 };

constexpr std::array<uint8_t, 256> makeCharClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c = 'a'; c <= 'z'; ++c) classes[c] = kWordChar;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kWordChar;
    for (int c = '0'; c <= '9'; ++c) classes[c] = kWordChar;
    classes[' '] = classes['\t'] = classes['\r'] = classes['\n'] = kBlank;
    classes['('] = classes[')'] = classes[','] = classes['/'] = kDelimiter;
    return classes;
}
constexpr std::array<uint8_t, 256> kCharClasses = makeCharClasses();

inline uint8_t charClass(char c) {
    return kCharClasses[static_cast<unsigned char>(c)];
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline char toLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

struct Keyword {
    std::string_view text;  // lower case
    int32_t kind;
};
// Tested before the dictionaries, in this order.
constexpr Keyword kLeadingKeywords[] = {
    {keywords::kGenerate, kTokenGenerate},
    {keywords::kRepeat, kTokenRepeat},
    {keywords::kEnd, kTokenEnd},
    {keywords::kUntil, kTokenUntil},
    {keywords::kWait, kTokenWait},
    {keywords::kClear, kTokenClear},
    {keywords::kScript, kTokenScript},
    {keywords::kForever, kTokenForever},
    {keywords::kIf, kTokenIf},
    {keywords::kElse, kTokenElse},
    {keywords::kBreak, kTokenBreak},
    {keywords::kOn, kTokenOn},
};
// Tested after the dictionaries, so a dictionary may use these words.
constexpr Keyword kTrailingKeywords[] = {
    {keywords::kSubset, kTokenSubset},
    {keywords::kStream, kTokenStream},
};
constexpr size_t kLongestKeyword = 8;

// Words hold only ASCII letters and digits, for which folding the case of
// ASCII letters is the whole of Unicode case folding.
template <size_t N>
int32_t findKeyword(const Keyword (&table)[N], std::string_view lowered) {
    for (const Keyword& keyword : table) {
        if (keyword.text == lowered) {
            return keyword.kind;
        }
    }
    return -1;
}

constexpr uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                     100000, 1000000, 10000000, 100000000, 1000000000};
constexpr uint64_t kLargestInteger = 2147483647;

uint64_t lengthBit(size_t length) {
    return uint64_t{1} << std::min<size_t>(length, 63);
}

}  // namespace

Lexer::Lexer(const ScriptCompileSettings& settings) : settings_(settings) {
    setScript({});
}

void Lexer::WordDictionary::prepare(const NameDictionary& dictionary) {
    names = &dictionary;
    lowered.clear();
    lengths = 0;
    firstLetters.reset();
    ascii = true;
    for (const auto& [name, id] : dictionary) {
        std::string key = name;
        for (char& c : key) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                ascii = false;
                return;
            }
            c = toLowerAscii(c);
        }
        lengths |= lengthBit(key.size());
        if (!key.empty()) {
            firstLetters.set(static_cast<unsigned char>(key[0]));
        }
        lowered.emplace(std::move(key), id);
    }
}

const uint32_t* Lexer::WordDictionary::find(std::string_view word,
                                            const std::string& loweredWord) const {
    if (ascii) {
        // Words are never empty and hold ASCII letters and digits only.
        if ((lengths & lengthBit(loweredWord.size())) == 0 ||
            !firstLetters.test(static_cast<unsigned char>(loweredWord[0]))) {
            return nullptr;
        }
        const auto found = lowered.find(loweredWord);
        return found == lowered.end() ? nullptr : &found->second;
    }
    const auto found = names->find(word);
    return found == names->end() ? nullptr : &found->second;
}

void Lexer::setScript(std::string_view text) {
    // The engine may change the dictionaries between parses.
    markers_.prepare(settings_.markerDictionary);
    scriptTriggers_.prepare(settings_.scriptTriggerDictionary);
    text_.assign(text.data(), text.size());
    cursor_ = 0;
    line_ = 1;
    column_ = 1;
}

void Lexer::_skipBlanksAndComments() {
    const size_t size = text_.size();
    size_t before;
    do {
        before = cursor_;
        while (cursor_ < size && charClass(text_[cursor_]) == kBlank) {
            if (text_[cursor_] == '\n') {
                ++line_;
                column_ = 1;
            } else {
                ++column_;
            }
            ++cursor_;
        }
        if (cursor_ < size && text_[cursor_] == '/') {
            ++cursor_;
            ++column_;
            if (cursor_ >= size || text_[cursor_] != '/') {
                const char* data = text_.data();
                QVWSC_ERROR(kErrorKeywordExpectedInScript)
                    .at(line_, column_)
                    .usage("kUsageTypeBadValue", detail::characterText(data + cursor_, data + size))
                    .usage("kUsageTypePossibleKeywords", keywords::kSlash)
                    .raise();
            }
            const size_t lineEnd = text_.find('\n', cursor_);
            const size_t commentEnd = lineEnd == std::string::npos ? size : lineEnd;
            column_ += static_cast<uint32_t>(commentEnd - cursor_);
            cursor_ = commentEnd;
            if (cursor_ < size) {
                ++cursor_;
                ++line_;
                column_ = 1;
            }
        }
    } while (cursor_ != before);
}

Token Lexer::nextToken() {
    _skipBlanksAndComments();
    Token token;
    token.line = line_;
    token.column = column_;
    if (cursor_ >= text_.size()) {
        token.kind = kTokenEndOfInput;
        return token;
    }
    switch (text_[cursor_]) {
        case '(':
            token.kind = kTokenOpenParenthesis;
            break;
        case ')':
            token.kind = kTokenCloseParenthesis;
            break;
        case ',':
            token.kind = kTokenComma;
            break;
        default:
            return _readWord();
    }
    token.text.assign(1, text_[cursor_]);
    ++cursor_;
    ++column_;
    return token;
}

Token Lexer::_readWord() {
    const size_t size = text_.size();
    const size_t start = cursor_;
    size_t end = start;
    while (end < size) {
        const uint8_t type = charClass(text_[end]);
        if (type == kWordChar) {
            ++end;
            continue;
        }
        if (type == kInvalid) {
            const char* data = text_.data();
            QVWSC_ERROR(kErrorScriptHasInvalidCharacter)
                .at(line_, column_)
                .usage("kUsageTypeBadValue", detail::characterText(data + end, data + size))
                .raise();
        }
        break;
    }
    Token token;
    token.text.assign(text_, start, end - start);
    token.line = line_;
    token.column = column_;
    _classify(token);
    column_ += static_cast<uint32_t>(end - start);
    cursor_ = end;
    return token;
}

void Lexer::_classify(Token& token) {
    const std::string& word = token.text;
    loweredWord_.resize(word.size());
    for (size_t i = 0; i < word.size(); ++i) {
        loweredWord_[i] = toLowerAscii(word[i]);
    }
    const bool mayBeKeyword = word.size() <= kLongestKeyword;
    if (mayBeKeyword) {
        const int32_t kind = findKeyword(kLeadingKeywords, loweredWord_);
        if (kind >= 0) {
            token.kind = kind;
            return;
        }
    }
    if (const uint32_t* id = markers_.find(word, loweredWord_)) {
        token.kind = kTokenMarkerName;
        token.value = *id;
        return;
    }
    if (const uint32_t* id = scriptTriggers_.find(word, loweredWord_)) {
        token.kind = kTokenScriptTriggerName;
        token.value = *id;
        return;
    }
    if (mayBeKeyword) {
        const int32_t kind = findKeyword(kTrailingKeywords, loweredWord_);
        if (kind >= 0) {
            token.kind = kind;
            return;
        }
    }
    if (!isDigit(word[0])) {
        token.kind = kTokenWord;
        return;
    }
    // Digits are weighed from the last one towards the first, so a letter
    // decides only when the digits after it are still in range ("1a99999999999"
    // is an integer out of range, "12ab" a bad identifier). Zero digits add
    // nothing however far from the end they stand.
    uint64_t sum = 0;
    size_t place = 0;
    for (size_t i = word.size(); i-- > 0; ++place) {
        const char c = word[i];
        if (!isDigit(c)) {
            QVWSC_ERROR(kErrorScriptHasInvalidIdentifier)
                .at(token.line, token.column)
                .usage("kUsageTypeInvalidIdentifier", word)
                .raise();
        }
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit == 0) {
            continue;
        }
        if (place >= std::size(kPowersOfTen) ||
            (sum += digit * kPowersOfTen[place]) > kLargestInteger) {
            QVWSC_ERROR(kErrorIntegerExpectedInScript)
                .at(token.line, token.column)
                .usage("kUsageTypeBadValue", word)
                .usage("kUsageTypeMinValue", int32_t{0})
                .usageFloat("kUsageTypeMaxValue", static_cast<double>(kLargestInteger))
                .raise();
        }
    }
    token.kind = kTokenInteger;
    token.value = static_cast<uint32_t>(sum);
}

}  // namespace qvwfmscriptcompiler
