// Compile throughput of script texts of three shapes, each against a plain
// pass that splits the same text into words, and each at two sizes to show
// that twice the text takes twice the time.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "ScriptSupport.h"
#include "qvWfmScriptCompiler/ScriptCompiler.h"

namespace {

using namespace qvwfmscriptcompiler;

constexpr int kGenerates = 1 << 15;
constexpr int kMarkers = 1 << 15;
constexpr int kTableWaveforms = 1 << 13;

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

// Every generate names its own waveform, which has four table markers.
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

void compile(benchmark::State& state, Input (*make)(int)) {
    const ScriptCompileSettings compileSettings = settings();
    ScriptCompiler compiler(compileSettings);
    const Input input = make(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto scripts = input.waveformNames.empty()
                                 ? compiler.compile(input.text)
                                 : compiler.compile(input.text, input.waveformNames,
                                                    input.markerNames, input.markerPositions);
        benchmark::DoNotOptimize(scripts.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
}

void split(benchmark::State& state, Input (*make)(int)) {
    const Input input = make(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(splitWords(input.text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.text.size()));
}

void BM_SplitGenerates(benchmark::State& state) { split(state, manyGenerates); }
void BM_CompileGenerates(benchmark::State& state) { compile(state, manyGenerates); }
void BM_SplitMarkers(benchmark::State& state) { split(state, manyMarkers); }
void BM_CompileMarkers(benchmark::State& state) { compile(state, manyMarkers); }
void BM_SplitTables(benchmark::State& state) { split(state, largeTables); }
void BM_CompileTables(benchmark::State& state) { compile(state, largeTables); }

// One time unit for all, so that the reporter's ratios compare like with like.
constexpr auto kUnit = benchmark::kMicrosecond;
BENCHMARK(BM_SplitGenerates)->Arg(kGenerates)->Unit(kUnit);
BENCHMARK(BM_CompileGenerates)->Arg(kGenerates)->Arg(2 * kGenerates)->Unit(kUnit);
BENCHMARK(BM_SplitMarkers)->Arg(kMarkers)->Unit(kUnit);
BENCHMARK(BM_CompileMarkers)->Arg(kMarkers)->Arg(2 * kMarkers)->Unit(kUnit);
BENCHMARK(BM_SplitTables)->Arg(kTableWaveforms)->Unit(kUnit);
BENCHMARK(BM_CompileTables)->Arg(kTableWaveforms)->Arg(2 * kTableWaveforms)->Unit(kUnit);

std::string named(const char* benchmark, int size) {
    return std::string(benchmark) + "/" + std::to_string(size);
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed memory in the process: otherwise each compile of a large
    // text maps fresh pages, and page faults rather than the compiler set
    // the time.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const struct {
        const char* shape;
        const char* compile;
        const char* split;
        int size;
    } shapes[] = {
        {"many generates", "BM_CompileGenerates", "BM_SplitGenerates", kGenerates},
        {"one generate with many markers", "BM_CompileMarkers", "BM_SplitMarkers", kMarkers},
        {"large marker tables", "BM_CompileTables", "BM_SplitTables", kTableWaveforms},
    };
    for (const auto& shape : shapes) {
        const std::string once = named(shape.compile, shape.size);
        reporter.ratio((std::string("compile / word split, ") + shape.shape).c_str(), once,
                       named(shape.split, shape.size));
        reporter.ratio((std::string("compile of twice the text / once, ") + shape.shape).c_str(),
                       named(shape.compile, 2 * shape.size), once);
    }
    benchmark::Shutdown();
    return 0;
}
