// A synchronization measurement read through the session against the bare
// driver request it makes (the session's computation and status handling
// over the floor), and the calibration's 7-point fit against its own
// allocations (the matrix block and the copy of y).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "../ratioReporter.h"
#include "SyntraSyncHALImpl/SessionFixture.h"

namespace {

void BM_BareFTDCRequest(benchmark::State& state) {
    qvsim::SimulatedModule module;
    auto proxy = qvtest::openModuleProxy(module);
    sdihal::iInterfaceProxy_syntrasync& sub = *proxy;
    // The simulated driver records every request: cleared now and then alike
    // on both sides.
    uint64_t requests = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        sdihal::tFixedPointValue start, stop;
        uint64_t coarse = 0;
        sub.readFTDCMeasurement(0, &start, &stop, &coarse, status);
        benchmark::DoNotOptimize(coarse);
        if (++requests % 4096 == 0) module.decoder().clear();
    }
}
BENCHMARK(BM_BareFTDCRequest);

void BM_SessionFTDCMeasurement(benchmark::State& state) {
    qvsim::SimulatedModule module;
    auto session = syntrasynctest::makeSession(module);
    session->configureSyntra(4, 4);
    uint64_t requests = 0;
    for (auto _ : state) {
        double seconds = 0.0;
        session->readSyntraMeasurement(0, &seconds, 1e-7);
        benchmark::DoNotOptimize(seconds);
        if (++requests % 4096 == 0) module.decoder().clear();
    }
}
BENCHMARK(BM_SessionFTDCMeasurement);

std::vector<double> calibrationX() {
    std::vector<double> x;
    for (int k = 1; k <= 7; ++k) x.push_back((1.5 * (k / 156.25e6) + 4e-9) + 1e-12 * k * k);
    return x;
}

void BM_FitAllocationsOnly(benchmark::State& state) {
    const std::vector<double> y{1, 2, 3, 4, 5, 6, 7};
    for (auto _ : state) {
        std::vector<double> block(8 * 7);
        std::vector<double> copy(y);
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_FitAllocationsOnly);

void BM_FitSevenPoints(benchmark::State& state) {
    const std::vector<double> x = calibrationX();
    std::vector<double> y;
    for (int k = 1; k <= 7; ++k) y.push_back(k / 156.25e6);
    std::vector<double> coefficients(7);
    for (auto _ : state) {
        fitPolynomialLeastSquares(x, y, coefficients, 6);
        benchmark::DoNotOptimize(coefficients.data());
    }
}
BENCHMARK(BM_FitSevenPoints);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"FTDC measurement through the session / bare driver request",
             "BM_SessionFTDCMeasurement", "BM_BareFTDCRequest"},
            {"7-point fit / its allocations alone", "BM_FitSevenPoints", "BM_FitAllocationsOnly"},
        });
}
