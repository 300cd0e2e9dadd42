// Parsing a runtime-toggles file, against reading its bytes (the baseline
// measured in the same run), and a long line against a short one: a parse
// costs a small multiple of reading, and grows linearly with line length.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "../ratioReporter.h"
#include "tolmRuntimeFeatureToggles/IniFile.h"

namespace {

std::string togglesText() {
    std::string text = "; runtime toggles\n";
    for (int i = 0; i < 24; ++i) {
        text += "[qvrfToggle" + std::to_string(i) + "]\nValue = " + std::to_string(i * 7) + "\n\n";
    }
    return text;
}

std::string longLineText(size_t length) {
    return "[s]\nkey=" + std::string(length, 'v') + "\n";
}

void readBytes(benchmark::State& state, const std::string& text) {
    std::string copy = text;
    std::string into(text.size(), '\0');
    for (auto _ : state) {
        FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
        benchmark::DoNotOptimize(fread(into.data(), 1, into.size(), stream));
        fclose(stream);
    }
}

void parse(benchmark::State& state, const std::string& text) {
    std::string copy = text;
    std::unique_ptr<runtime_toggles::IniDocument, void (*)(runtime_toggles::IniDocument*)> document(
        runtime_toggles::iniCreate(0), &runtime_toggles::iniFree);
    for (auto _ : state) {
        FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
        benchmark::DoNotOptimize(runtime_toggles::iniReadStream(document.get(), stream));
        fclose(stream);
    }
}

void BM_ReadTogglesBytes(benchmark::State& state) {
    readBytes(state, togglesText());
}
void BM_ParseTogglesFile(benchmark::State& state) {
    parse(state, togglesText());
}
void BM_ParseLongLine(benchmark::State& state) {
    parse(state, longLineText(static_cast<size_t>(state.range(0))));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_ReadTogglesBytes);
BENCHMARK(BM_ParseTogglesFile);
BENCHMARK(BM_ParseLongLine)->Arg(4096)->Arg(65536);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"parse toggles file / read its bytes", "BM_ParseTogglesFile", "BM_ReadTogglesBytes"},
            {"parse 64 KiB line / parse 4 KiB line (16 x the bytes)", "BM_ParseLongLine/65536",
             "BM_ParseLongLine/4096"},
        });
}
