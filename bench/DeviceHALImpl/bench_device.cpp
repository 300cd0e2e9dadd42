// A device session's whole life (device_open, every context the simulated
// module can create, device_close) against the same number of bare requests
// to the simulated kernel driver through an open proxy: what the session
// adds over the requests it cannot avoid. Then device_open + device_close
// after a peak of live handles against the same before it: what is left of
// a peak once its handles are gone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "DeviceHALImpl/devicehalHandle.h"
#include "HALUtilities/HandleRegistry.h"
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

// A session without an FPGA image: little besides its handle.
void openClose(const std::string& json) {
    uint64_t handle = 0;
    device_open(json.c_str(), "ai/0", &handle);
    device_close(handle);
}

void openCloseLoop(benchmark::State& state) {
    qvsim::SimulatedModule module;
    const std::string json =
        "{\"resourceName\":\"Dev1\",\"deviceInterfacePath\":\"" + module.devicePath() + "\"}";
    for (auto _ : state) {
        openClose(json);
        module.decoder().clear();
    }
}

// Registered before any peak: the baseline.
void BM_openCloseBeforeHandlePeak(benchmark::State& state) {
    openCloseLoop(state);
}
BENCHMARK(BM_openCloseBeforeHandlePeak);

// 100,000 live handles at once (a routing host's terminal iterators, owned
// by their session), then all of them dropped, as their owners destroy them.
void BM_openCloseAfterHandlePeak(benchmark::State& state) {
    constexpr size_t kPeak = 100000;
    std::vector<uint64_t> objects(kPeak * 2);
    const uint64_t owner = qv3377hal::handleOf(&state);
    for (size_t i = 0; i < kPeak; ++i) {
        qv3377hal::addHandle(qv3377hal::handleOf(&objects[2 * i]),
                             qv3377hal::HandleKind::terminalIterator, owner,
                             qv3377hal::HandleKind::routingAdaptorSession);
    }
    for (size_t i = 0; i < kPeak; ++i) {
        qv3377hal::dropHandle(qv3377hal::handleOf(&objects[2 * i]),
                              qv3377hal::HandleKind::terminalIterator);
    }
    openCloseLoop(state);
}
BENCHMARK(BM_openCloseAfterHandlePeak);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"device_open + all contexts + device_close / as many bare requests",
             "BM_deviceLifecycle", "BM_bareRequests"},
            {"device_open + device_close after a peak of 100,000 handles / before it",
             "BM_openCloseAfterHandlePeak", "BM_openCloseBeforeHandlePeak"},
        });
}
