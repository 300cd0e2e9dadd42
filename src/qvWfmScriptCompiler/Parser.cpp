#include "qvWfmScriptCompiler/Parser.h"

#include <algorithm>
#include <array>
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

// Moves the entries of `pending` from `mark` on to the end of `list`, which
// grows once to its final size.
template <class List, class Pending>
void takeFrom(Pending& pending, size_t mark, List& list) {
    list.reserve(list.size() + (pending.size() - mark));
    for (size_t i = mark; i < pending.size(); ++i) {
        list.push_back(std::move(pending[i]));
    }
    pending.resize(mark);
}

// Empties a list of the parser's own, and frees what a huge text made it
// hold rather than keep it for the next text.
template <class List>
void clearAndTrim(List& list) {
    list.clear();
    if (list.capacity() > (size_t{1} << 16)) {
        list.shrink_to_fit();
    }
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
    MarkerTables(const ScriptCompileSettings& settings,
                 const std::vector<std::string>& waveformNames,
                 const std::vector<std::string>& markerNames,
                 const std::vector<std::vector<uint32_t>>& markerPositions)
        : settings_(settings),
          waveformNames_(waveformNames),
          markerNames_(markerNames),
          markerPositions_(markerPositions),
          slots_(16) {
        // Entry indices are 32 bits wide: a table of four thousand million
        // entries could not be held in memory anyway.
        const size_t count = waveformNames.size();
        if (markerNames.size() != count || markerPositions.size() != count || count >= kNone) {
            detail::ErrorRaiser(qverr::qvapalerr_invalidParameter,
                                QVERR_LOCATION(detail::kComponent, "qvapalerr_invalidParameter"))
                .raise();
        }
        _index();
    }

    // Appends the modifiers of the table entries of `waveformName` to
    // `markers`, which holds the generate's own.
    void apply(const std::string& waveformName,
               std::vector<std::unique_ptr<MarkerModifier>>& markers) {
        // Generates often follow the table's order: the entries after the
        // last generate's first run are tried before the hashed look-up,
        // which lands anywhere in a table that may be far larger than the
        // caches.
        uint32_t first = expected_;
        if (first >= heads_.size() || !heads_[first] || waveformNames_[first] != waveformName) {
            first = slots_[_slotIndex(waveformName, _hash(waveformName))].first;
            if (first == kNone) {
                return;
            }
        }
        expected_ = first + 1;
        while (expected_ < next_.size() && next_[expected_ - 1] == expected_) {
            ++expected_;
        }
        present_.clear();
        for (const auto& modifier : markers) {
            present_.push_back(modifier->marker);
        }
        std::sort(present_.begin(), present_.end());
        for (uint32_t i = first; i != kNone; i = next_[i]) {
            const uint32_t id = _markerId(markerNames_[i]);
            const auto at = std::lower_bound(present_.begin(), present_.end(), id);
            if (at != present_.end() && *at == id) {
                continue;  // the script's own marker, or an earlier entry, wins
            }
            present_.insert(at, id);
            auto modifier = std::make_unique<MarkerModifier>();
            modifier->marker = id;
            const std::vector<uint32_t>& positions = markerPositions_[i];
            modifier->positions.assign(positions.begin(), positions.end());
            markers.push_back(std::move(modifier));
        }
    }

private:
    static constexpr uint32_t kNone = static_cast<uint32_t>(-1);

    // An open-addressed table of the distinct waveform names with the first
    // and last of their entries: nothing allocated per name, and small.
    struct Slot {
        uint32_t hash = 0;  // the low half of the name's hash, all a probe uses
        uint32_t first = kNone;
        uint32_t last = kNone;
    };

    static size_t _hash(std::string_view name) { return std::hash<std::string_view>{}(name); }

    // The slot of `name`, or the free slot where it would go.
    size_t _slotIndex(std::string_view name, size_t hash) const {
        const size_t mask = slots_.size() - 1;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = slots_[at];
            if (slot.first == kNone ||
                (slot.hash == static_cast<uint32_t>(hash) && waveformNames_[slot.first] == name)) {
                return at;
            }
        }
    }

    // Chains the entries of each name in ascending order. The entries of
    // one waveform mostly stand together: a run of one name is looked up
    // once, and the slots of the runs a few entries ahead are fetched into
    // the cache while this one is looked up.
    void _index() {
        const std::vector<std::string>& names = waveformNames_;
        const size_t count = names.size();
        next_.assign(count, kNone);
        heads_.assign(count, false);
        struct Ahead {
            bool runStarts = false;
            size_t hash = 0;
        };
        constexpr size_t kAhead = 8;
        std::array<Ahead, kAhead> ahead;  // entry j at j % kAhead
        const auto lookAhead = [&](size_t j) {
            Ahead& entry = ahead[j % kAhead];
            entry.runStarts = j < count && (j == 0 || names[j] != names[j - 1]);
            if (entry.runStarts) {
                entry.hash = _hash(names[j]);
                __builtin_prefetch(&slots_[entry.hash & (slots_.size() - 1)]);
            }
        };
        for (size_t j = 0; j < kAhead; ++j) {
            lookAhead(j);
        }
        Slot* run = nullptr;  // of the entry before
        for (size_t i = 0; i < count; ++i) {
            const Ahead here = ahead[i % kAhead];
            lookAhead(i + kAhead);
            const auto entry = static_cast<uint32_t>(i);
            if (here.runStarts) {
                run = &slots_[_slotIndex(names[i], here.hash)];
                if (run->first == kNone) {
                    *run = Slot{static_cast<uint32_t>(here.hash), entry, entry};
                    heads_[i] = true;
                    if (2 * ++names_ > slots_.size()) {
                        _grow();
                        run = &slots_[_slotIndex(names[i], here.hash)];
                    }
                    continue;
                }
            }
            next_[run->last] = entry;
            run->last = entry;
        }
    }

    void _grow() {
        std::vector<Slot> old(2 * slots_.size());
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.first == kNone) {
                continue;
            }
            size_t at = slot.hash & mask;  // the table never has 2^32 slots
            while (slots_[at].first != kNone) {
                at = (at + 1) & mask;
            }
            slots_[at] = slot;
        }
    }

    uint32_t _markerId(const std::string& name) {
        // Tables repeat a few marker names many times: each is looked up
        // in the dictionary once.
        const auto known = markerIds_.find(std::string_view(name));
        if (known != markerIds_.end()) {
            return known->second;
        }
        const NameDictionary& markers = settings_.markerDictionary;
        const auto found = markers.find(std::string_view(name));
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
        markerIds_.emplace(std::string_view(name), found->second);
        return found->second;
    }

    const ScriptCompileSettings& settings_;
    const std::vector<std::string>& waveformNames_;
    const std::vector<std::string>& markerNames_;
    const std::vector<std::vector<uint32_t>>& markerPositions_;
    std::vector<Slot> slots_;  // a power of two, at most half in use
    size_t names_ = 0;
    std::vector<uint32_t> next_;  // the next entry of the same name
    std::vector<bool> heads_;     // the first entry of its name
    uint32_t expected_ = 0;       // the entry the next generate probably starts at
    std::unordered_map<std::string_view, uint32_t> markerIds_;
    std::vector<uint32_t> present_;  // marker ids of the generate at hand, sorted
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

    auto collection = std::make_unique<ProcedureCollection>();
    // Some bytes of tree per byte of text; the arena grows beyond as needed.
    collection->arena = std::make_unique<ParseTreeArena>(4 * text.size());
    const ParseTreeArena::Scope inArena(*collection->arena);
    // Unfinished lists go before the tree that holds their storage.
    struct PendingCleared {
        ParserImpl& parser;
        ~PendingCleared() {
            clearAndTrim(parser.pendingInstructions_);
            clearAndTrim(parser.pendingMarkers_);
            clearAndTrim(parser.pendingNumbers_);
        }
    } cleared{*this};

    lexer_.setScript(text);
    _advance();
    placeAt(*collection, current_);
    std::vector<std::unique_ptr<NamedProcedure>> procedures;
    do {
        procedures.push_back(_parseScript());
    } while (current_.kind == kTokenScript);
    takeFrom(procedures, 0, collection->procedures);
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
    const size_t mark = pendingInstructions_.size();
    do {
        pendingInstructions_.push_back(_parseInstruction(repeatDepth));
    } while (startsInstruction(current_.kind));
    takeFrom(pendingInstructions_, mark, container.instructions);
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
    _parseMarkers();
    if (tables_ != nullptr) {
        tables_->apply(generate->waveformName, pendingMarkers_);
    }
    _takePendingMarkers(*generate);
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

void ParserImpl::_takePendingMarkers(FetchInstruction& instruction) {
    takeFrom(pendingMarkers_, 0, instruction.markers);
}

void ParserImpl::_parseMarkers() {
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
        pendingNumbers_.clear();
        pendingNumbers_.push_back(_readInteger());
        while (current_.kind == kTokenComma) {
            _advance();
            pendingNumbers_.push_back(_readInteger());
        }
        _expect(kTokenCloseParenthesis, keywords::kCloseParenthesis);
        modifier->positions.assign(pendingNumbers_.begin(), pendingNumbers_.end());
        pendingMarkers_.push_back(std::move(modifier));
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
    _parseMarkers();
    _takePendingMarkers(*wait);
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
    pendingNumbers_.clear();
    pendingNumbers_.push_back(_readScriptTrigger());
    while (current_.kind == kTokenScriptTriggerName) {
        pendingNumbers_.push_back(current_.value);
        _advance();
    }
    clear->scriptTriggers.assign(pendingNumbers_.begin(), pendingNumbers_.end());
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

std::unique_ptr<ParserInterface> ParserFactory::createParser(
    const ScriptCompileSettings& settings) {
    auto lexer = std::make_shared<Lexer>(settings);
    auto impl = std::make_shared<ParserImpl>(settings, *lexer);
    return std::make_unique<Parser>(std::move(lexer), std::move(impl));
}

}  // namespace qvwfmscriptcompiler
