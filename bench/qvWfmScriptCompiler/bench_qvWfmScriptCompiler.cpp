// Compile throughput of script texts of three shapes at 1 to 32 MB of text.
// Twice the text must take twice the time at every size, in or out of the
// caches, so each shape reports its ratio at 1 -> 2, 4 -> 8 and 16 -> 32 MB;
// and each compile against a plain pass that splits the same text into words.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../ratioReporter.h"
#include "ScriptSupport.h"
#include "qvWfmScriptCompiler/ScriptCompiler.h"

namespace {

using namespace qvwfmscriptcompiler;

constexpr int64_t kMegabyte = 1 << 20;
constexpr int64_t kSmallest = 1;  // MB
constexpr int64_t kLargest = 32;  // MB
// Repetitions of each compile: the ratios take the fastest of them, which
// is the one least disturbed by whatever else runs on the machine.
constexpr int kRepetitions = 3;

ScriptCompileSettings settings() {
    ScriptCompileSettings result = scripttest::engineSettings();
    result.alignmentQuantum = 8;
    result.minimumWaitLength = 16;
    return result;
}

struct Input {
    std::string text;
    std::vector<std::string> waveformNames;
    std::vector<std::string> markerNames;
    std::vector<std::vector<uint32_t>> markerPositions;
};

// Each shape makes a text of at least `bytes` bytes.
using Shape = Input (*)(int64_t bytes);

Input manyGenerates(int64_t bytes) {
    Input input;
    input.text.reserve(static_cast<size_t>(bytes) + 256);
    input.text = "script s\n";
    for (int i = 0; static_cast<int64_t>(input.text.size()) < bytes; ++i) {
        input.text += "  generate w" + std::to_string(i % 50) + " subset(0, 64) marker0(0, 32)\n";
        if (i % 16 == 15) input.text += "  clear scripttrigger1\n  wait 32\n";
    }
    input.text += "end script\n";
    return input;
}

// Three markers of one generate, each with a third of the positions.
Input manyMarkers(int64_t bytes) {
    Input input;
    input.text.reserve(static_cast<size_t>(bytes) + 256);
    input.text = "script s\n  generate a";
    const int64_t share = bytes / 3;
    for (const char* marker : {"marker0", "marker1", "marker2"}) {
        input.text += std::string(" ") + marker + "(";
        const int64_t end = static_cast<int64_t>(input.text.size()) + share;
        // Descending, so that the list must really be sorted.
        for (int64_t position = 8 * share; position > 0; position -= 8) {
            input.text += std::to_string(position);
            if (static_cast<int64_t>(input.text.size()) >= end) break;
            input.text += ", ";
        }
        input.text += ")";
    }
    input.text += "\nend script\n";
    return input;
}

// Every generate names its own waveform, which has four table markers.
Input largeTables(int64_t bytes) {
    Input input;
    input.text.reserve(static_cast<size_t>(bytes) + 256);
    input.text = "script s\n";
    for (int i = 0; static_cast<int64_t>(input.text.size()) < bytes; ++i) {
        std::string name = "w";
        name += std::to_string(i);
        input.text += "  generate ";
        input.text += name;
        input.text += '\n';
        for (const char* marker : {"marker0", "marker1", "marker2", "marker3"}) {
            input.waveformNames.push_back(name);
            input.markerNames.push_back(marker);
            input.markerPositions.push_back({0, 8, 64});
        }
    }
    input.text += "end script\n";
    return input;
}

// The input of the last benchmark: its repetitions share it, and only one
// large input is held at a time.
const Input& inputOf(Shape shape, int64_t bytes) {
    static Shape madeShape = nullptr;
    static int64_t madeBytes = 0;
    static std::unique_ptr<Input> made;
    if (!made || madeShape != shape || madeBytes != bytes) {
        made.reset();
        made = std::make_unique<Input>(shape(bytes));
        madeShape = shape;
        madeBytes = bytes;
    }
    return *made;
}

size_t splitWords(const std::string& text) {
    size_t words = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool separator =
            c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '(' || c == ')' || c == ',';
        words += !separator && !inWord;
        inWord = !separator;
    }
    return words;
}

std::vector<CompiledScript> compileOnce(ScriptCompiler& compiler, const Input& input) {
    return input.waveformNames.empty() ? compiler.compile(input.text)
                                       : compiler.compile(input.text, input.waveformNames,
                                                          input.markerNames, input.markerPositions);
}

void compile(benchmark::State& state, Shape shape) {
    const ScriptCompileSettings compileSettings = settings();
    ScriptCompiler compiler(compileSettings);
    const Input& input = inputOf(shape, state.range(0) * kMegabyte);
    // Untimed: the heap grows to this size once, not in the first timed run.
    compileOnce(compiler, input);
    for (auto _ : state) {
        const auto scripts = compileOnce(compiler, input);
        benchmark::DoNotOptimize(scripts.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
}

void split(benchmark::State& state, Shape shape) {
    const Input& input = inputOf(shape, state.range(0) * kMegabyte);
    for (auto _ : state) {
        benchmark::DoNotOptimize(splitWords(input.text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
}

void BM_SplitGenerates(benchmark::State& state) {
    split(state, manyGenerates);
}
void BM_CompileGenerates(benchmark::State& state) {
    compile(state, manyGenerates);
}
void BM_SplitMarkers(benchmark::State& state) {
    split(state, manyMarkers);
}
void BM_CompileMarkers(benchmark::State& state) {
    compile(state, manyMarkers);
}
void BM_SplitTables(benchmark::State& state) {
    split(state, largeTables);
}
void BM_CompileTables(benchmark::State& state) {
    compile(state, largeTables);
}

// One time unit for all, so that the reporter's ratios compare like with like.
constexpr auto kUnit = benchmark::kMicrosecond;
void sizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->RangeMultiplier(2)
        ->Range(kSmallest, kLargest)
        ->Unit(kUnit)
        ->Repetitions(kRepetitions);
}
BENCHMARK(BM_SplitGenerates)->Arg(kSmallest)->Unit(kUnit);
BENCHMARK(BM_CompileGenerates)->Apply(sizes);
BENCHMARK(BM_SplitMarkers)->Arg(kSmallest)->Unit(kUnit);
BENCHMARK(BM_CompileMarkers)->Apply(sizes);
BENCHMARK(BM_SplitTables)->Arg(kSmallest)->Unit(kUnit);
BENCHMARK(BM_CompileTables)->Apply(sizes);

std::string named(const char* benchmark, int64_t megabytes) {
    return std::string(benchmark) + "/" + std::to_string(megabytes) +
           "/repeats:" + std::to_string(kRepetitions);
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed memory in the process: otherwise each compile of a large
    // text maps fresh pages, and page faults rather than the compiler set
    // the time. The largest compile frees more than a gigabyte at once.
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    const struct {
        const char* shape;
        const char* compile;
        const char* split;
    } shapes[] = {
        {"many generates", "BM_CompileGenerates", "BM_SplitGenerates"},
        {"one generate with many markers", "BM_CompileMarkers", "BM_SplitMarkers"},
        {"large marker tables", "BM_CompileTables", "BM_SplitTables"},
    };
    // The reporter keeps `what` as a pointer: these texts outlive it.
    std::vector<std::string> texts;
    std::vector<std::pair<std::string, std::string>> sides;
    for (const auto& shape : shapes) {
        texts.push_back(std::string("compile / word split, ") + shape.shape + ", 1 MB");
        sides.emplace_back(named(shape.compile, kSmallest),
                           std::string(shape.split) + "/" + std::to_string(kSmallest));
        for (int64_t base : {int64_t{1}, int64_t{4}, int64_t{16}}) {
            texts.push_back(std::string("compile of twice the text, ") + shape.shape + ", " +
                            std::to_string(2 * base) + " MB / " + std::to_string(base) + " MB");
            sides.emplace_back(named(shape.compile, 2 * base), named(shape.compile, base));
        }
    }
    std::vector<RatioSpec> ratios;
    for (size_t i = 0; i < texts.size(); ++i) {
        ratios.push_back({texts[i].c_str(), sides[i].first, sides[i].second});
    }
    return runBenchmarksWithRatios(argc, argv, ratios);
}
