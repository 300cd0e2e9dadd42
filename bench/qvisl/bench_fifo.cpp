// A 1 MiB read of 64-bit elements through FifoFpgaHw against the FPGA
// interface library's function called directly (the stand-in of
// libQvFpga.so.13 serves both). The FPGA side refills the FIFO outside the
// timed part.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "../ratioReporter.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/FifoFpgaHw.h"

namespace {

constexpr size_t kElements = (1u << 20) / sizeof(uint64_t);

struct Setup {
    Setup() {
        qvfpgasim_declareFifo("fetch", sizeof(uint64_t), kElements);
        if (QvFpgaDll_Open("/bench.qvimage", nullptr, "Dev1", qvisl::kOpenFromPath, &session) !=
                0 ||
            QvFpgaDll_FindFifoPrivate(session, "fetch", qvisl::kResourceTypeAny, &fifo) != 0) {
            std::abort();
        }
        for (size_t i = 0; i < kElements; ++i) source[i] = i * 0x9E3779B97F4A7C15ull;
    }
    void refill() {
        if (qvfpgasim_pushFifo(session, "fetch", source.data(), source.size() * sizeof(uint64_t)) !=
            source.size() * sizeof(uint64_t)) {
            std::abort();
        }
    }
    uint32_t session = 0;
    uint32_t fifo = 0;
    std::vector<uint64_t> source = std::vector<uint64_t>(kElements);
    std::vector<uint64_t> sink = std::vector<uint64_t>(kElements);
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void BM_LibraryReadDirect(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        state.PauseTiming();
        s.refill();
        state.ResumeTiming();
        size_t remaining = 0;
        if (QvFpgaDll_ReadFifoU64(s.session, s.fifo, s.sink.data(), kElements, 0, &remaining) != 0)
            std::abort();
        benchmark::DoNotOptimize(s.sink.data());
    }
    state.SetBytesProcessed(state.iterations() * kElements * sizeof(uint64_t));
}
BENCHMARK(BM_LibraryReadDirect);

void BM_FifoFpgaHwRead(benchmark::State& state) {
    Setup& s = setup();
    qvisl::FifoFpgaHw<unsigned long> binding(s.session, s.fifo);
    for (auto _ : state) {
        state.PauseTiming();
        s.refill();
        state.ResumeTiming();
        nQVAPALS100::tStatus status;
        size_t remaining = 0;
        binding.read(reinterpret_cast<unsigned long*>(s.sink.data()), kElements, 0, &remaining,
                     status);
        if (status.isError()) std::abort();
        benchmark::DoNotOptimize(s.sink.data());
    }
    state.SetBytesProcessed(state.iterations() * kElements * sizeof(uint64_t));
}
BENCHMARK(BM_FifoFpgaHwRead);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"FifoFpgaHw<uint64_t> 1 MiB read / library function directly", "BM_FifoFpgaHwRead",
             "BM_LibraryReadDirect"},
        });
}
