// A fill level polled through p2p_getSamplesInEndpoint (the export frame,
// the session's checks and its own platform status) against the bare
// driver request it makes, on the simulated module.
#include <benchmark/benchmark.h>

#include <string>

#include "../ratioReporter.h"
#include "P2PHALImpl/p2pHALImpl.h"
#include "apal_qv3377k/tInterfaceProxy_p2p.h"
#include "module/SimulatedModule.h"

namespace {

// The simulated driver records every request: cleared now and then alike on
// both sides.
constexpr uint64_t kClearEvery = 4096;

void BM_BareSamplesInEndpointRequest(benchmark::State& state) {
    qvsim::SimulatedModule module;
    sdihal::tInterfaceProxy_p2p proxy;
    nQVAPALS100::tStatus openStatus;
    proxy.open(module.devicePath().c_str(), openStatus);
    if (openStatus.isError()) state.SkipWithError("device file");
    uint64_t requests = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        benchmark::DoNotOptimize(proxy.getSamplesInEndpoint(0, status));
        if (++requests % kClearEvery == 0) module.decoder().clear();
    }
}
BENCHMARK(BM_BareSamplesInEndpointRequest);

void BM_ExportSamplesInEndpoint(benchmark::State& state) {
    qvsim::SimulatedModule module;
    const std::string parameters = "{\"deviceInterfacePath\": \"" + module.devicePath() + "\"}";
    const char* description =
        "{\"fpgaSessionHandle\":\"1\", \"endpoints\": [{\"name\": \"p2p.acq.fifo.I16.width "
        "16.depth 16k\", "
        "\"direction\":\"writer\", \"fifoResourceID\":\"0\", \"valid\":\"1\"}]}";
    void* handle = nullptr;
    if (p2p_open(parameters.c_str(), description, &handle) != 0) state.SkipWithError("p2p_open");
    uint64_t requests = 0;
    for (auto _ : state) {
        uint64_t samples = 0;
        benchmark::DoNotOptimize(p2p_getSamplesInEndpoint(handle, 0, &samples));
        benchmark::DoNotOptimize(samples);
        if (++requests % kClearEvery == 0) module.decoder().clear();
    }
    p2p_close(handle);
}
BENCHMARK(BM_ExportSamplesInEndpoint);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"samples in endpoint through p2p_ / bare driver request", "BM_ExportSamplesInEndpoint",
             "BM_BareSamplesInEndpointRequest"},
        });
}
