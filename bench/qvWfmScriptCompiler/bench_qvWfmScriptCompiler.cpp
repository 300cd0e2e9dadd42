// Compile throughput of script texts of three shapes, against a plain pass
// that splits the same text into words. Counters: "vs_split" is the compile
// time over the split time; "doubling" the time for twice the text over the
// time for this text (near 2 when the compile is linear).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <malloc.h>
#include <string>
#include <vector>

#include "qvWfmScriptCompiler/ScriptCompiler.h"

namespace {

using namespace qvwfmscriptcompiler;

ScriptCompileSettings settings() {
    ScriptCompileSettings result;
    for (uint32_t id : {0u, 1u, 2u, 3u, 7u}) {
        result.markerDictionary["marker" + std::to_string(id)] = id;
    }
    for (uint32_t id = 0; id < 4; ++id) {
        result.scriptTriggerDictionary["scripttrigger" + std::to_string(id)] = id;
    }
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

Input manyGenerates(int count) {
    Input input;
    input.text = "script s\n";
    for (int i = 0; i < count; ++i) {
        input.text += "  generate w" + std::to_string(i % 50) + " subset(0, 64) marker0(0, 32)\n";
        if (i % 16 == 15) input.text += "  clear scripttrigger1\n  wait 32\n";
    }
    input.text += "end script\n";
    return input;
}

Input manyMarkers(int count) {
    Input input;
    input.text = "script s\n  generate a";
    for (const char* marker : {"marker0", "marker1", "marker2"}) {
        input.text += std::string(" ") + marker + "(";
        // Descending, so that the list must really be sorted.
        for (int i = count; i-- > 0;) input.text += std::to_string(i * 8) + (i ? ", " : ")");
    }
    input.text += "\nend script\n";
    return input;
}

Input largeTables(int count) {
    Input input;
    input.text = "script s\n";
    for (int i = 0; i < count; ++i) {
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

size_t splitWords(const std::string& text) {
    size_t words = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool separator = c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '(' ||
                               c == ')' || c == ',';
        words += !separator && !inWord;
        inWord = !separator;
    }
    return words;
}

size_t compile(ScriptCompiler& compiler, const Input& input) {
    const auto scripts = input.waveformNames.empty()
                             ? compiler.compile(input.text)
                             : compiler.compile(input.text, input.waveformNames, input.markerNames,
                                                input.markerPositions);
    return scripts.size();
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The shortest of several runs, in CPU time of this thread. Runs of one
// size follow each other, so that the heap has grown to that size.
template <typename Work>
double fastestSeconds(Work work) {
    double best = 1e30;
    for (int i = 0; i < 7; ++i) {
        const double start = threadSeconds();
        benchmark::DoNotOptimize(work());
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

void run(benchmark::State& state, Input (*make)(int)) {
    const ScriptCompileSettings compileSettings = settings();
    ScriptCompiler compiler(compileSettings);
    const Input input = make(static_cast<int>(state.range(0)));
    const Input twice = make(static_cast<int>(state.range(0)) * 2);
    const double split = fastestSeconds([&] { return splitWords(input.text); });
    const double compileOnce = fastestSeconds([&] { return compile(compiler, input); });
    const double compileTwice = fastestSeconds([&] { return compile(compiler, twice); });
    for (auto _ : state) {
        benchmark::DoNotOptimize(compile(compiler, input));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
    state.counters["text_MB"] = static_cast<double>(input.text.size()) / 1e6;
    state.counters["vs_split"] = compileOnce / split;
    state.counters["doubling"] = compileTwice / compileOnce;
}

// Keep freed memory in the process: otherwise each compile of a large text
// maps fresh pages, and page faults rather than the compiler set the time.
const bool kHeapKept = [] {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    return true;
}();

void BM_SplitWords(benchmark::State& state) {
    const Input input = manyGenerates(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(splitWords(input.text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
}

void BM_ManyGenerates(benchmark::State& state) { run(state, manyGenerates); }
void BM_ManyMarkers(benchmark::State& state) { run(state, manyMarkers); }
void BM_LargeMarkerTables(benchmark::State& state) { run(state, largeTables); }

BENCHMARK(BM_SplitWords)->Arg(1 << 14)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManyGenerates)->Arg(1 << 14)->Arg(1 << 16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManyMarkers)->Arg(1 << 14)->Arg(1 << 16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeMarkerTables)->Arg(1 << 12)->Arg(1 << 14)->Unit(benchmark::kMillisecond);

}  // namespace
