// Exact timestamp differences per stamp (words with fractions, decoded and
// subtracted without losing ticks) against the plain double multiply-add a
// caller would write over the same words, which loses large tick counts.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "../ratioReporter.h"
#include "DataPathHALImpl/DataPathSession.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"

namespace {

constexpr size_t kStamps = 4096;
constexpr double kPeriod = 1.0 / 250e6;

// Four words per record: ticks, fraction, ticks, fraction.
const std::vector<uint64_t>& words() {
    static const std::vector<uint64_t> values = [] {
        std::mt19937_64 random(11);
        std::vector<uint64_t> v(4 * kStamps);
        for (size_t i = 0; i < kStamps; ++i) {
            const uint64_t base = random() >> 2;
            v[4 * i] = base;
            v[4 * i + 1] = random() & 0xFFFFFFFF;
            v[4 * i + 2] = base + (random() & 0xFFFFFF);
            v[4 * i + 3] = random() & 0xFFFFFFFF;
        }
        return v;
    }();
    return values;
}

void BM_exactDifference(benchmark::State& state) {
    qvsim::SimulatedModule module;
    auto proxy = std::make_shared<sdihal::tInterfaceProxy_qv3377k>();
    nQVAPALS100::tStatus status;
    proxy->open(module.devicePath().c_str(), status);
    datapathhal::DataPathSession session(proxy, 0);
    const auto& w = words();
    for (auto _ : state) {
        for (size_t i = 0; i < kStamps; ++i) {
            benchmark::DoNotOptimize(
                session.computeReferenceSampleTimestamp(&w[4 * i], 4, kPeriod));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kStamps));
}
BENCHMARK(BM_exactDifference);

void BM_doubleMultiplyAdd(benchmark::State& state) {
    const auto& w = words();
    constexpr double kFractionScale = 1.0 / 4294967296.0;
    for (auto _ : state) {
        for (size_t i = 0; i < kStamps; ++i) {
            const double second =
                static_cast<double>(w[4 * i]) * kPeriod + kPeriod * (w[4 * i + 1] * kFractionScale);
            const double third = static_cast<double>(w[4 * i + 2]) * kPeriod +
                                 kPeriod * (w[4 * i + 3] * kFractionScale);
            benchmark::DoNotOptimize(third - second);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kStamps));
}
BENCHMARK(BM_doubleMultiplyAdd);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"exact timestamp difference / double multiply-add, per stamp", "BM_exactDifference",
             "BM_doubleMultiplyAdd"},
        });
}
