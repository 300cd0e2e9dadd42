// Random valid scripts: printed plainly and printed with random letter case,
// blanks and comments they compile to the same result, and every result
// keeps the invariants of compiled scripts.
#include <gtest/gtest.h>

#include <random>

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
        name(kWaveforms[pick(0, 3)]);
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
                        case 0:
                            number(pick(1, 5));
                            break;
                        case 1:
                            keyword("forever");
                            break;
                        default:
                            keyword("until");
                            trigger();
                            break;
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
    static const char* const kBlanks[] = {" ",    "\t",   "\r",         "\n",
                                          "  \t", "\r\n", " // note\n", "\n// whole line\n\n"};
    auto pick = [&](int high) { return std::uniform_int_distribution<int>(0, high)(random); };
    auto isDelimiter = [](const std::string& text) {
        return text == "(" || text == ")" || text == ",";
    };
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

}  // namespace
}  // namespace scripttest
