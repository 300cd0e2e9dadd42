// The DMA channel list of a bitfile, channels placed by their register
// blocks, at 1x and 16x the channel count. Each iteration parses the same
// number of bytes (sixteen small lists, or one large one), so a placement
// that grows faster than the text shows as a ratio above 1; the XML parser
// alone on the same text is the floor. The time_per_MB column is the time per
// megabyte of list text (CPU time).
#include <benchmark/benchmark.h>

#include <string>

#include "../../ratioReporter.h"
#include "atomiczekddk/bitfile/CompilationResultsInfo.h"
#include "atomiczekddk/bitfile/Xml.h"
#include "support/BitfileGenerator.h"

namespace {

constexpr size_t kBaseChannels = 1000;

const std::string& listText(size_t channels) {
    static const std::string small = qvtest::channelListText(kBaseChannels);
    static const std::string large = qvtest::channelListText(kBaseChannels * 16);
    return channels == kBaseChannels ? small : large;
}

// The bytes one iteration parses, also as the time per megabyte.
void perMegabyte(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["time_per_MB"] = benchmark::Counter(
        static_cast<double>(bytes) / 1e6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void parseLists(benchmark::State& state, size_t channels) {
    const std::string& text = listText(channels);
    const size_t copies = kBaseChannels * 16 / channels;
    for (auto _ : state) {
        for (size_t i = 0; i < copies; ++i) {
            const qvzek::CompilationResultsInfo info(text);
            benchmark::DoNotOptimize(info.getFifos().size());
        }
    }
    perMegabyte(state, text.size() * copies);
}

void parseXmlOnly(benchmark::State& state, size_t channels) {
    const std::string& text = listText(channels);
    const size_t copies = kBaseChannels * 16 / channels;
    for (auto _ : state) {
        for (size_t i = 0; i < copies; ++i) {
            const qvzek::XmlDocument document(text.c_str());
            benchmark::DoNotOptimize(document.rootElement());
        }
    }
    perMegabyte(state, text.size() * copies);
}

void BM_ChannelList1x(benchmark::State& state) {
    parseLists(state, kBaseChannels);
}
void BM_ChannelList16x(benchmark::State& state) {
    parseLists(state, kBaseChannels * 16);
}
void BM_XmlOnly1x(benchmark::State& state) {
    parseXmlOnly(state, kBaseChannels);
}
void BM_XmlOnly16x(benchmark::State& state) {
    parseXmlOnly(state, kBaseChannels * 16);
}
BENCHMARK(BM_ChannelList1x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelList16x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlOnly1x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlOnly16x)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"channel list 16x / 1x channels (same bytes)", "BM_ChannelList16x",
             "BM_ChannelList1x"},
            {"channel list 1x / XML parser alone", "BM_ChannelList1x", "BM_XmlOnly1x"},
            {"channel list 16x / XML parser alone", "BM_ChannelList16x", "BM_XmlOnly16x"},
        });
}
