// Random valid scripts: printed plainly and printed with random letter case,
// blanks and comments they compile to the same result, and every result
// keeps the invariants of compiled scripts.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "ScriptDump.h"
#include "ScriptSupport.h"

namespace scripttest {
namespace {

using namespace qvwfmscriptcompiler;

struct Word {
    std::string text;
    bool foldable;  // keyword or dictionary name: any letter case means the same
};

class RandomScript {
public:
    RandomScript(std::mt19937& random, const ScriptCompileSettings& settings)
        : random_(random), settings_(settings) {}

    // Where each generate ends in the words, and its waveform.
    struct Generate {
        size_t end;
        std::string waveform;
    };

    std::vector<Word> make() {
        const int scripts = pick(1, 3);
        for (int i = 0; i < scripts; ++i) {
            keyword("script");
            name("s" + std::to_string(i));
            if (pick(0, 3) == 0) {
                keyword("repeat");
                keyword("forever");
                instructions(/*loopsAllowed=*/true, /*inLoop=*/true);
                keyword("end");
                keyword("repeat");
            } else {
                instructions(true, false);
            }
            keyword("end");
            keyword("script");
        }
        return std::move(words_);
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    uint32_t aligned(int low, int high) { return settings_.alignmentQuantum * pick(low, high); }
    void keyword(const std::string& text) { words_.push_back({text, true}); }
    void name(const std::string& text) { words_.push_back({text, false}); }
    void delimiter(const char* text) { words_.push_back({text, false}); }
    void number(uint32_t value) { name(std::to_string(value)); }
    void trigger() { keyword("scripttrigger" + std::to_string(pick(0, 3))); }

    void markers(uint32_t below) {
        static const char* const kNames[] = {"marker0", "marker1", "marker2", "marker3", "marker7"};
        const int count = below == 0 ? 0 : pick(0, 2);
        const int slots = static_cast<int>(below / settings_.alignmentQuantum) - 1;
        for (int m = 0; m < count; ++m) {
            keyword(kNames[pick(0, 4)]);
            delimiter("(");
            const int positions = pick(1, 3);
            for (int p = 0; p < positions; ++p) {
                if (p) delimiter(",");
                number(aligned(0, slots));
            }
            delimiter(")");
        }
    }

    void generate() {
        static const char* const kWaveforms[] = {"a", "b", "Wave1", "x9"};
        keyword("generate");
        const char* const waveform = kWaveforms[pick(0, 3)];
        name(waveform);
        uint32_t length = aligned(1, 64);  // markers stay below this without a subset too
        if (pick(0, 1)) {
            keyword("subset");
            delimiter("(");
            number(aligned(0, 16));
            delimiter(",");
            number(length = aligned(1, 16));
            delimiter(")");
        }
        markers(length);
        generates_.push_back({words_.size(), waveform});
    }

    // A list of instructions that produces samples; in a loop it must not
    // end with a clear.
    void instructions(bool loopsAllowed, bool inLoop) {
        const int count = pick(1, 6);
        bool samples = false;
        bool endsWithClear = false;
        for (int i = 0; i < count; ++i) {
            endsWithClear = false;
            switch (pick(0, loopsAllowed ? 4 : 3)) {
                case 0:
                    generate();
                    samples = true;
                    break;
                case 1: {
                    keyword("wait");
                    const uint32_t samplesToWait = settings_.minimumWaitLength + aligned(0, 8);
                    number(samplesToWait);
                    markers(samplesToWait);
                    samples = true;
                    break;
                }
                case 2:
                    keyword("wait");
                    keyword("until");
                    trigger();
                    break;
                case 3: {
                    keyword("clear");
                    const int triggers = pick(1, 3);
                    for (int t = 0; t < triggers; ++t) trigger();
                    endsWithClear = true;
                    break;
                }
                default:
                    keyword("repeat");
                    switch (pick(0, 2)) {
                        case 0: number(pick(1, 5)); break;
                        case 1: keyword("forever"); break;
                        default: keyword("until"); trigger(); break;
                    }
                    instructions(false, true);
                    keyword("end");
                    keyword("repeat");
                    samples = true;
                    break;
            }
        }
        if (!samples || (inLoop && endsWithClear)) generate();
    }

public:
    std::vector<Generate> generates_;

private:
    std::mt19937& random_;
    const ScriptCompileSettings& settings_;
    std::vector<Word> words_;
};

std::string plain(const std::vector<Word>& words) {
    std::string text;
    for (const Word& word : words) text += (text.empty() ? "" : " ") + word.text;
    return text;
}

std::string noisy(const std::vector<Word>& words, std::mt19937& random) {
    static const char* const kBlanks[] = {" ", "\t", "\r", "\n", "  \t", "\r\n", " // note\n",
                                          "\n// whole line\n\n"};
    auto pick = [&](int high) { return std::uniform_int_distribution<int>(0, high)(random); };
    auto isDelimiter = [](const std::string& text) { return text == "(" || text == ")" || text == ","; };
    std::string text = pick(1) ? "// header\n" : "";
    for (size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i].text;
        if (words[i].foldable) {
            for (char& c : word) {
                if (pick(1)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        if (i > 0) {
            const bool blankOptional = isDelimiter(word) || isDelimiter(words[i - 1].text);
            if (!blankOptional || pick(1)) text += kBlanks[pick(7)];
        }
        text += word;
    }
    return text + (pick(1) ? "\n// trailer" : "");
}

TEST(RandomScripts, LayoutDoesNotChangeTheResultAndInvariantsHold) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 400; ++round) {
        ScriptCompileSettings settings = engineSettings();
        settings.alignmentQuantum = std::vector<uint32_t>{1, 4, 8}[round % 3];
        settings.minimumWaitLength = settings.alignmentQuantum * (round % 4);
        ScriptCompiler compiler(settings);
        const std::vector<Word> words = RandomScript(random, settings).make();
        const std::string canonical = plain(words);
        const std::string messy = noisy(words, random);

        std::vector<CompiledScript> scripts;
        try {
            scripts = compiler.compile(canonical);
        } catch (const qverr::Exception& error) {
            FAIL() << canonical << "\n" << dumpError(error);
        }
        EXPECT_EQ("", checkInvariants(scripts, settings)) << canonical;
        EXPECT_EQ(dumpScripts(scripts), compileAndDump(compiler, messy)) << canonical << "\n---\n"
                                                                         << messy;
    }
}

// Waveform-marker tables give a generate the markers that it would have if
// the winning entries were written after its own: the first entry of each
// marker id that the generate lacks, with waveform names matched exactly and
// marker names in any case. Tables with runs of one name, names spread over
// the table and more names than the script uses.
TEST(RandomScripts, TableMarkersActAsIfWrittenAfterTheGeneratesOwn) {
    std::mt19937 random(20261207);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    static const char* const kTableWaveforms[] = {"a", "b", "Wave1", "x9", "A", "wave1", "zz"};
    static const char* const kTableMarkers[] = {"marker0", "MARKER1", "Marker2", "marker3",
                                                "marker7", "marker1"};
    int compiled = 0;
    for (int round = 0; round < 400; ++round) {
        ScriptCompileSettings settings = engineSettings();
        settings.alignmentQuantum = 4;
        ScriptCompiler compiler(settings);
        RandomScript script(random, settings);
        std::vector<Word> words = script.make();
        const std::string text = plain(words);

        MarkerTables tables;
        const int entries = pick(1, 64);
        const int unusedNames = pick(0, 40);  // that no generate uses
        for (int e = 0; e < entries; ++e) {
            std::string waveform;
            const int choice = pick(0, 9);
            if (e > 0 && choice < 5) {
                waveform = tables.waveformNames.back();  // a run of one name
            } else if (choice < 8 || unusedNames == 0) {
                waveform = kTableWaveforms[pick(0, 6)];
            } else {
                waveform = "unused" + std::to_string(pick(1, unusedNames));
            }
            tables.waveformNames.push_back(waveform);
            tables.markerNames.push_back(pick(0, 30) ? kTableMarkers[pick(0, 5)] : "marker5");
            std::vector<uint32_t> positions;
            for (int p = pick(0, 3); p > 0; --p) positions.push_back(4 * static_cast<uint32_t>(pick(0, 3)));
            tables.markerPositions.push_back(positions);
        }
        const bool unknownMarker = [&] {
            for (const auto& generate : script.generates_) {
                for (size_t e = 0; e < tables.waveformNames.size(); ++e) {
                    if (tables.waveformNames[e] == generate.waveform && tables.markerNames[e] == "marker5") {
                        return true;
                    }
                }
            }
            return false;
        }();

        // The winning entries written out, from the last generate back.
        const auto idOf = [&](std::string name) {
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return settings.markerDictionary.at(name);
        };
        for (auto generate = script.generates_.rbegin(); generate != script.generates_.rend(); ++generate) {
            std::set<uint32_t> present;
            size_t start = generate->end;
            while (start > 0 && words[start - 1].text != "generate") --start;
            for (size_t w = start; w < generate->end; ++w) {
                if (words[w].text.rfind("marker", 0) == 0) present.insert(idOf(words[w].text));
            }
            std::vector<Word> written;
            for (size_t e = 0; e < tables.waveformNames.size(); ++e) {
                if (tables.waveformNames[e] != generate->waveform || tables.markerNames[e] == "marker5" ||
                    !present.insert(idOf(tables.markerNames[e])).second ||
                    tables.markerPositions[e].empty()) {
                    continue;
                }
                written.push_back({tables.markerNames[e], false});
                for (size_t p = 0; p < tables.markerPositions[e].size(); ++p) {
                    written.push_back({p ? "," : "(", false});
                    written.push_back({std::to_string(tables.markerPositions[e][p]), false});
                }
                written.push_back({")", false});
            }
            words.insert(words.begin() + static_cast<std::ptrdiff_t>(generate->end), written.begin(),
                         written.end());
        }

        const std::string withTables = compileAndDump(compiler, text, &tables);
        if (unknownMarker) {
            EXPECT_EQ("error kErrorMarkerIdentifierNotSupported -1074101548",
                      withTables.substr(0, withTables.find('\n')))
                << text;
            continue;
        }
        const std::string written = compileAndDump(compiler, plain(words));
        if (written.rfind("error", 0) == 0) {
            // Table markers have no place of their own in the text: the
            // error is the same, the places it names may differ.
            EXPECT_EQ(written.substr(0, written.find('\n')), withTables.substr(0, withTables.find('\n')))
                << text << "\n---\n" << plain(words);
        } else {
            ++compiled;
            EXPECT_EQ(written, withTables) << text << "\n---\n" << plain(words);
        }
    }
    EXPECT_GT(compiled, 100);
}

}  // namespace
}  // namespace scripttest
