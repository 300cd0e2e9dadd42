// Register conversion of doubles against the plain rounding a caller would
// otherwise write: scale, lrint, clamp.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "../ratioReporter.h"
#include "FixedPoint/FixedPoint.h"

namespace {

const std::vector<double>& samples() {
    static const std::vector<double> values = [] {
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> spread(-200.0, 200.0);
        std::vector<double> v(4096);
        for (double& x : v) x = spread(random);
        return v;
    }();
    return values;
}

// Signed 16-bit words with 8 fractional bits.
constexpr sdihal::tFixedPointFormat kFormat{true, 16, 8};

void BM_doubleToFixedPoint(benchmark::State& state) {
    const auto& values = samples();
    sdihal::tFixedPointValue value;
    for (auto _ : state) {
        for (double x : values) {
            sdihal::doubleToFixedPoint(kFormat, value, x);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_doubleToFixedPoint);

void BM_lrintBaseline(benchmark::State& state) {
    const auto& values = samples();
    for (auto _ : state) {
        for (double x : values) {
            long bits = std::lrint(std::ldexp(x, 8));
            bits = std::clamp(bits, -32768L, 32767L);
            benchmark::DoNotOptimize(bits);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_lrintBaseline);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"doubleToFixedPoint / lrint, per value", "BM_doubleToFixedPoint", "BM_lrintBaseline"},
        });
}
