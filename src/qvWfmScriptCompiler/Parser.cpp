#include "qvWfmScriptCompiler/Parser.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "qvWfmScriptCompiler/ErrorRaiser.h"
#include "qvWfmScriptCompiler/Keywords.h"
#include "qvWfmScriptCompiler/Sequence.h"

namespace qvwfmscriptcompiler {
namespace {

constexpr const char* kInstructionKeywords = "generate, wait, repeat, clear";
constexpr const char* kWaitArguments = "1,2,... , until";
constexpr const char* kRepeatArguments = "1,2,3..., forever";

bool startsInstruction(int32_t kind) {
    switch (kind) {
        case kTokenGenerate:
        case kTokenRepeat:
        case kTokenWait:
        case kTokenClear:
        // Reserved words without a production: taken as an instruction so
        // that they are refused as one.
        case kTokenIf:
        case kTokenBreak:
        case kTokenStream:
            return true;
        default:
            return false;
    }
}

// The marker names whose ids the sequencer can signal.
std::string usableMarkerNames(const NameDictionary& markers) {
    NameDictionary usable;
    for (const auto& entry : markers) {
        if (entry.second <= kLargestMarkerId) {
            usable.insert(entry);
        }
    }
    return joinNames(usable);
}

template <typename Node>
void placeAt(Node& node, const Token& token) {
    node.line = token.line;
    node.positionInLine = token.column;
}

// An instruction node that begins at its keyword `token`.
template <typename Node>
std::unique_ptr<Node> newInstruction(InstructionType type, const Token& token) {
    auto node = std::make_unique<Node>();
    node->type = type;
    placeAt(*node, token);
    return node;
}

}  // namespace

// The waveform-marker tables of one parse, indexed by waveform name so that
// each generate finds its entries without walking the whole table.
class ParserImpl::MarkerTables {
public:
    MarkerTables(const ScriptCompileSettings& settings, const std::vector<std::string>& waveformNames,
                 const std::vector<std::string>& markerNames,
                 const std::vector<std::vector<uint32_t>>& markerPositions)
        : settings_(settings),
          markerNames_(markerNames),
          markerPositions_(markerPositions),
          next_(waveformNames.size(), kNone),
          markerIds_(waveformNames.size(), kUnknownId) {
        if (markerNames.size() != waveformNames.size() ||
            markerPositions.size() != waveformNames.size()) {
            detail::ErrorRaiser(qverr::qvapalerr_invalidParameter,
                                QVERR_LOCATION(detail::kComponent, "qvapalerr_invalidParameter"))
                .raise();
        }
        // Chains of entry indices per name, in ascending order.
        for (size_t i = waveformNames.size(); i-- > 0;) {
            auto [entry, inserted] = first_.try_emplace(waveformNames[i], i);
            if (!inserted) {
                next_[i] = entry->second;
                entry->second = i;
            }
        }
    }

    void apply(GenerateInstruction& generate) {
        const auto found = first_.find(generate.waveformName);
        if (found == first_.end()) {
            return;
        }
        std::vector<uint32_t> present;
        present.reserve(generate.markers.size());
        for (const auto& modifier : generate.markers) {
            present.push_back(modifier->marker);
        }
        std::sort(present.begin(), present.end());
        for (size_t i = found->second; i != kNone; i = next_[i]) {
            const uint32_t id = _markerId(i);
            const auto at = std::lower_bound(present.begin(), present.end(), id);
            if (at != present.end() && *at == id) {
                continue;  // the script's own marker, or an earlier entry, wins
            }
            present.insert(at, id);
            auto modifier = std::make_unique<MarkerModifier>();
            modifier->marker = id;
            modifier->positions = markerPositions_[i];
            generate.markers.push_back(std::move(modifier));
        }
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    static constexpr int64_t kUnknownId = -1;

    uint32_t _markerId(size_t entry) {
        if (markerIds_[entry] == kUnknownId) {
            const NameDictionary& markers = settings_.markerDictionary;
            const auto found = markers.find(std::string_view(markerNames_[entry]));
            if (found == markers.end()) {
                QVWSC_ERROR(kErrorMarkerIdentifierNotSupported)
                    .usage("kUsageTypePossibleKeywords", joinNames(markers))
                    .raise();
            }
            if (found->second > kLargestMarkerId) {
                QVWSC_ERROR(kErrorMarkerIdentifierNotSupported)
                    .usage("kUsageTypePossibleKeywords", usableMarkerNames(markers))
                    .raise();
            }
            markerIds_[entry] = found->second;
        }
        return static_cast<uint32_t>(markerIds_[entry]);
    }

    const ScriptCompileSettings& settings_;
    const std::vector<std::string>& markerNames_;
    const std::vector<std::vector<uint32_t>>& markerPositions_;
    std::unordered_map<std::string_view, size_t> first_;
    std::vector<size_t> next_;
    std::vector<int64_t> markerIds_;
};

ParserImpl::ParserImpl(const ScriptCompileSettings& settings, LexerInterface& lexer)
    : settings_(settings), lexer_(lexer) {}

ParserImpl::~ParserImpl() = default;

std::unique_ptr<iParseTree> ParserImpl::parse(std::string_view text) {
    return _parse(text, nullptr);
}

std::unique_ptr<iParseTree> ParserImpl::parse(
    std::string_view text, const std::vector<std::string>& waveformNames,
    const std::vector<std::string>& markerNames,
    const std::vector<std::vector<uint32_t>>& markerPositions) {
    if (waveformNames.empty() && markerNames.empty() && markerPositions.empty()) {
        return _parse(text, nullptr);
    }
    MarkerTables tables(settings_, waveformNames, markerNames, markerPositions);
    return _parse(text, &tables);
}

std::unique_ptr<iParseTree> ParserImpl::_parse(std::string_view text, MarkerTables* tables) {
    if (text.empty()) {
        QVWSC_ERROR(kErrorKeywordExpectedInScript).raise();
    }
    // The tables serve this parse only, also when it fails.
    struct TablesInUse {
        MarkerTables*& slot;
        ~TablesInUse() { slot = nullptr; }
    } inUse{tables_};
    tables_ = tables;

    lexer_.setScript(text);
    _advance();
    auto collection = std::make_unique<ProcedureCollection>();
    placeAt(*collection, current_);
    do {
        collection->procedures.push_back(_parseScript());
    } while (current_.kind == kTokenScript);
    // Whatever follows the last script must be another script: anything
    // else (a misspelt "script") would otherwise vanish unnoticed.
    if (current_.kind != kTokenEndOfInput) {
        _raiseKeywordExpected(keywords::kScript);
    }
    return collection;
}

void ParserImpl::_advance() {
    current_ = lexer_.nextToken();
}

bool ParserImpl::_isName() const {
    const int32_t kind = current_.kind;
    return (kind >= kTokenWord && kind <= kTokenClear) || kind == kTokenMarkerName ||
           kind == kTokenScriptTriggerName || (kind >= kTokenIf && kind <= kTokenStream);
}

void ParserImpl::_expect(int32_t kind, const char* keyword) {
    if (kind == kTokenEndOfInput) {
        return;
    }
    if (current_.kind == kind || (kind == kTokenWord && _isName())) {
        _advance();
        return;
    }
    _raiseKeywordExpected(keyword);
}

void ParserImpl::_raiseKeywordExpected(const std::string& possibleKeywords) const {
    QVWSC_ERROR(kErrorKeywordExpectedInScript)
        .at(current_.line, current_.column)
        .usage("kUsageTypeBadValue", current_.text)
        .usage("kUsageTypePossibleKeywords", possibleKeywords)
        .raise();
}

std::string ParserImpl::_readName() {
    if (!_isName()) {
        QVWSC_ERROR(kErrorScriptHasInvalidIdentifier)
            .at(current_.line, current_.column)
            .usage("kUsageTypeBadValue", current_.text)
            .raise();
    }
    std::string name = current_.text;
    _advance();
    return name;
}

std::unique_ptr<NamedProcedure> ParserImpl::_parseScript() {
    auto procedure = std::make_unique<NamedProcedure>();
    placeAt(*procedure, current_);
    _expect(kTokenScript, keywords::kScript);
    procedure->name = _readName();
    _parseInstructions(*procedure, 0);
    _expect(kTokenEnd, keywords::kEnd);
    _expect(kTokenScript, keywords::kScript);
    return procedure;
}

void ParserImpl::_parseInstructions(InstructionContainer& container, uint32_t repeatDepth) {
    do {
        container.instructions.push_back(_parseInstruction(repeatDepth));
    } while (startsInstruction(current_.kind));
}

std::unique_ptr<Instruction> ParserImpl::_parseInstruction(uint32_t repeatDepth) {
    switch (current_.kind) {
        case kTokenGenerate:
            return _parseGenerate();
        case kTokenRepeat:
            return _parseRepeat(repeatDepth);
        case kTokenWait:
            return _parseWait();
        case kTokenClear:
            return _parseClear();
        default:
            _raiseKeywordExpected(kInstructionKeywords);
    }
}

std::unique_ptr<Instruction> ParserImpl::_parseGenerate() {
    auto generate = newInstruction<GenerateInstruction>(kInstructionGenerate, current_);
    _advance();
    generate->waveformName = _readName();
    if (current_.kind == kTokenSubset) {
        generate->subset = _parseSubset();
    }
    _parseMarkers(*generate);
    if (tables_ != nullptr) {
        tables_->apply(*generate);
    }
    return generate;
}

std::unique_ptr<SubsetModifier> ParserImpl::_parseSubset() {
    auto subset = std::make_unique<SubsetModifier>();
    placeAt(*subset, current_);
    _expect(kTokenSubset, keywords::kSubset);
    _expect(kTokenOpenParenthesis, keywords::kOpenParenthesis);
    subset->startOffset = _readInteger();
    _expect(kTokenComma, keywords::kComma);
    subset->length = _readInteger();
    _expect(kTokenCloseParenthesis, keywords::kCloseParenthesis);
    return subset;
}

void ParserImpl::_parseMarkers(FetchInstruction& instruction) {
    while (current_.kind == kTokenMarkerName) {
        if (current_.value > kLargestMarkerId) {
            QVWSC_ERROR(kErrorMarkerIdentifierNotSupported)
                .at(current_.line, current_.column)
                .usage("kUsageTypeBadValue", current_.text)
                .usage("kUsageTypePossibleKeywords", usableMarkerNames(settings_.markerDictionary))
                .raise();
        }
        auto modifier = std::make_unique<MarkerModifier>();
        placeAt(*modifier, current_);
        modifier->marker = current_.value;
        _advance();
        _expect(kTokenOpenParenthesis, keywords::kOpenParenthesis);
        modifier->positions.push_back(_readInteger());
        while (current_.kind == kTokenComma) {
            _advance();
            modifier->positions.push_back(_readInteger());
        }
        _expect(kTokenCloseParenthesis, keywords::kCloseParenthesis);
        instruction.markers.push_back(std::move(modifier));
    }
}

uint32_t ParserImpl::_readInteger() {
    if (current_.kind != kTokenInteger) {
        QVWSC_ERROR(kErrorIntegerExpectedInScript)
            .at(current_.line, current_.column)
            .usage("kUsageTypeBadValue", current_.text)
            .raise();
    }
    const uint32_t value = current_.value;
    _advance();
    return value;
}

std::unique_ptr<Instruction> ParserImpl::_parseWait() {
    auto wait = newInstruction<WaitInstruction>(kInstructionWait, current_);
    _advance();
    if (current_.kind == kTokenUntil) {
        wait->waitKind = kWaitUntilTrigger;
        _advance();
        wait->scriptTrigger = _readScriptTrigger();
    } else if (current_.kind == kTokenInteger) {
        wait->waitKind = kWaitSamples;
        wait->sampleCount = current_.value;
        _advance();
    } else {
        _raiseKeywordExpected(kWaitArguments);
    }
    _parseMarkers(*wait);
    return wait;
}

std::unique_ptr<Instruction> ParserImpl::_parseRepeat(uint32_t repeatDepth) {
    auto repeat = newInstruction<RepeatInstruction>(kInstructionRepeat, current_);
    if (repeatDepth >= kMaximumRepeatNesting) {
        QVWSC_ERROR(kErrorRepeatLoopNestingTooDeepInScript).at(*repeat).raise();
    }
    _advance();
    switch (current_.kind) {
        case kTokenUntil:
            repeat->loopKind = kLoopUntilTrigger;
            _advance();
            repeat->scriptTrigger = _readScriptTrigger();
            break;
        case kTokenInteger:
            repeat->loopKind = kLoopCounted;
            repeat->iterations = current_.value;
            _advance();
            break;
        case kTokenForever:
            repeat->loopKind = kLoopForever;
            _advance();
            break;
        default:
            _raiseKeywordExpected(kRepeatArguments);
    }
    _parseInstructions(*repeat, repeatDepth + 1);
    _expect(kTokenEnd, keywords::kEnd);
    _expect(kTokenRepeat, keywords::kRepeat);
    return repeat;
}

std::unique_ptr<Instruction> ParserImpl::_parseClear() {
    auto clear = newInstruction<ClearInstruction>(kInstructionClear, current_);
    _advance();
    clear->scriptTriggers.push_back(_readScriptTrigger());
    while (current_.kind == kTokenScriptTriggerName) {
        clear->scriptTriggers.push_back(current_.value);
        _advance();
    }
    return clear;
}

uint32_t ParserImpl::_readScriptTrigger() {
    if (current_.kind != kTokenScriptTriggerName) {
        _raiseKeywordExpected(joinNames(settings_.scriptTriggerDictionary));
    }
    const uint32_t value = current_.value;
    _advance();
    return value;
}

Parser::Parser(std::shared_ptr<LexerInterface> lexer, std::shared_ptr<ParserImpl> impl)
    : lexer_(std::move(lexer)), impl_(std::move(impl)) {}

std::unique_ptr<iParseTree> Parser::parse(std::string_view text) {
    return impl_->parse(text);
}

std::unique_ptr<iParseTree> Parser::parse(
    std::string_view text, const std::vector<std::string>& waveformNames,
    const std::vector<std::string>& markerNames,
    const std::vector<std::vector<uint32_t>>& markerPositions) {
    return impl_->parse(text, waveformNames, markerNames, markerPositions);
}

std::unique_ptr<ParserInterface> ParserFactory::createParser(const ScriptCompileSettings& settings) {
    auto lexer = std::make_shared<Lexer>(settings);
    auto impl = std::make_shared<ParserImpl>(settings, *lexer);
    return std::make_unique<Parser>(std::move(lexer), std::move(impl));
}

}  // namespace qvwfmscriptcompiler
