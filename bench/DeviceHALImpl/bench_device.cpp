// A device session's whole life (device_open, every context the simulated
// module can create, device_close) against the same number of bare requests
// to the simulated kernel driver through an open proxy: what the session
// adds over the requests it cannot avoid.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "../ratioReporter.h"
#include "DeviceHALImpl/devicehalHandle.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/SimulatedModule.h"
#include "qvfpga/QvFpgaSim.h"

namespace {

// Routing and self-calibration load platform libraries of their own.
bool created(uint32_t id) {
    return id != 24 && id != 25;
}

std::string params(const qvsim::SimulatedModule& module) {
    return "{\"resourceName\":\"Dev1\",\"deviceInterfacePath\":\"" + module.devicePath() +
           "\",\"bitfilePath\":\"/images/qv3377.qvimage\",\"sessionUID\":\"bench\"}";
}

void lifecycle(const std::string& json) {
    uint64_t handle = 0;
    device_open(json.c_str(), "ai/0", &handle);
    for (uint32_t id = 0; id <= 33; ++id) {
        uint64_t context = 0;
        if (created(id)) device_getContext(handle, id, 0, &context);
    }
    device_close(handle);
}

// The requests one lifecycle sends.
size_t requestsPerLifecycle(qvsim::SimulatedModule& module, const std::string& json) {
    module.decoder().clear();
    lifecycle(json);
    const size_t count = module.decoder().requests().size();
    module.decoder().clear();
    return count;
}

void BM_deviceLifecycle(benchmark::State& state) {
    qvsim::SimulatedModule module;
    qvfpgasim_reset();
    qvsim::SimulatedModule::declareDefaultFifos();
    const std::string json = params(module);
    state.counters["requests"] = static_cast<double>(requestsPerLifecycle(module, json));
    for (auto _ : state) {
        lifecycle(json);
        module.decoder().clear();
        qvfpgasim_clearLog();
    }
    qvfpgasim_reset();
}
BENCHMARK(BM_deviceLifecycle);

void BM_bareRequests(benchmark::State& state) {
    qvsim::SimulatedModule module;
    qvfpgasim_reset();
    qvsim::SimulatedModule::declareDefaultFifos();
    const size_t requests = requestsPerLifecycle(module, params(module));
    sdihal::tInterfaceProxy_qv3377k proxy;
    nQVAPALS100::tStatus status;
    proxy.open(module.devicePath().c_str(), status);
    sdihal::iInterfaceProxy_rfplat& rfplat = proxy;
    for (auto _ : state) {
        for (size_t i = 0; i < requests; ++i) {
            nQVAPALS100::tStatus each;
            benchmark::DoNotOptimize(rfplat.getDriverInterfaceVersion(each));
        }
        module.decoder().clear();
        qvfpgasim_clearLog();
    }
    state.counters["requests"] = static_cast<double>(requests);
    qvfpgasim_reset();
}
BENCHMARK(BM_bareRequests);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"device_open + all contexts + device_close / as many bare requests",
             "BM_deviceLifecycle", "BM_bareRequests"},
        });
}
