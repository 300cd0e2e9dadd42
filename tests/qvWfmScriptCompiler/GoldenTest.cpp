// Runs the golden corpus: each case gives settings and a script text and
// the exact canonical result (compiled scripts, tokens or error with its
// usage records). QV_GOLDEN_UPDATE=1 rewrites the expectations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScriptDump.h"

namespace scripttest {
namespace {

using namespace qvwfmscriptcompiler;

struct GoldenCase {
    std::string name;
    std::vector<std::string> settingLines;
    std::vector<std::string> scriptLines;
    std::string expected;
};

std::string trimEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::vector<GoldenCase> readCases(const std::filesystem::path& file, std::string& preamble) {
    std::ifstream in(file, std::ios::binary);
    std::vector<GoldenCase> cases;
    enum { kPreamble, kSettings, kScript, kExpect } section = kPreamble;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("=== ", 0) == 0) {
            cases.push_back(GoldenCase{line.substr(4), {}, {}, {}});
            section = kSettings;
        } else if (section != kPreamble && line == "--- script") {
            section = kScript;
        } else if (section != kPreamble && line == "--- expect") {
            section = kExpect;
        } else if (section == kPreamble) {
            preamble += line + "\n";
        } else if (section == kSettings) {
            if (!line.empty()) cases.back().settingLines.push_back(line);
        } else if (section == kScript) {
            cases.back().scriptLines.push_back(line);
        } else {
            cases.back().expected += line + "\n";
        }
    }
    return cases;
}

// \r, \t, \\ and \xNN stand for the bytes that are awkward in a text file.
std::string unescape(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t n = 0; n < lines.size(); ++n) {
        if (n) text += '\n';
        const std::string& line = lines[n];
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                text += line[i];
            } else if (line[i + 1] == 'r') {
                text += '\r', ++i;
            } else if (line[i + 1] == 't') {
                text += '\t', ++i;
            } else if (line[i + 1] == 'x' && i + 3 < line.size()) {
                text += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16)), i += 3;
            } else {
                text += line[i + 1], ++i;
            }
        }
    }
    return text;
}

std::string run(const GoldenCase& golden) {
    ScriptCompileSettings settings = engineSettings();
    MarkerTables tables;
    bool useTables = false;
    bool tokens = false;
    for (const std::string& line : golden.settingLines) {
        if (line[0] == '#') continue;
        std::istringstream words(line);
        std::string key, name, extra;
        words >> key;
        if (key == "quantum") {
            words >> settings.alignmentQuantum;
        } else if (key == "minwait") {
            words >> settings.minimumWaitLength;
        } else if (key == "marker" || key == "trigger") {
            uint32_t id = 0;
            words >> name >> id;
            (key == "marker" ? settings.markerDictionary : settings.scriptTriggerDictionary)[name] =
                id;
        } else if (key == "nomarkers") {
            settings.markerDictionary.clear();
        } else if (key == "notriggers") {
            settings.scriptTriggerDictionary.clear();
        } else if (key == "table") {
            useTables = true;
            words >> name >> extra;
            tables.waveformNames.push_back(name);
            tables.markerNames.push_back(extra);
            std::vector<uint32_t> positions;
            std::string list;
            words >> list;
            std::replace(list.begin(), list.end(), ',', ' ');
            std::istringstream numbers(list);
            for (uint32_t p; numbers >> p;) positions.push_back(p);
            tables.markerPositions.push_back(positions);
        } else if (key == "tokens") {
            tokens = true;
        } else {
            return "unknown setting: " + line + "\n";
        }
    }
    const std::string text = unescape(golden.scriptLines);
    if (tokens) return dumpTokens(settings, text);
    ScriptCompiler compiler(settings);
    return compileAndDump(compiler, text, useTables ? &tables : nullptr);
}

TEST(GoldenCorpus, EveryCaseGivesItsExpectedResult) {
    const bool update = std::getenv("QV_GOLDEN_UPDATE") != nullptr;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(QV_GOLDEN_DIR)) {
        if (entry.path().extension() == ".case") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    size_t total = 0;
    for (const auto& file : files) {
        std::string preamble;
        std::vector<GoldenCase> cases = readCases(file, preamble);
        std::string rewritten = preamble;
        for (GoldenCase& golden : cases) {
            ++total;
            const std::string actual = run(golden);
            if (!update) {
                EXPECT_EQ(trimEnd(golden.expected), trimEnd(actual))
                    << file.filename().string() << ": " << golden.name;
            }
            rewritten += "=== " + golden.name + "\n";
            for (const auto& line : golden.settingLines) rewritten += line + "\n";
            rewritten += "--- script\n";
            for (const auto& line : golden.scriptLines) rewritten += line + "\n";
            rewritten += "--- expect\n" + trimEnd(actual) + "\n\n";
        }
        if (update) std::ofstream(file, std::ios::binary) << trimEnd(rewritten) << "\n";
    }
    EXPECT_GT(total, 100u);
}

}  // namespace
}  // namespace scripttest
