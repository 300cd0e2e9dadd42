// A family call through its export (handle conversion and the return-code
// frame) against the same call on the session object: what a handle costs a
// driver on every call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "../ratioReporter.h"
#include "DeviceHALImpl/devicehalHandle.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"

namespace {

// A trigger context of a device session on the simulated module, bound to a
// trig_ handle.
struct TriggerContext {
    qvsim::SimulatedModule module;
    uint64_t device = 0;
    uint64_t handle = 0;
    trighal::TrigHALSession* session = nullptr;

    TriggerContext() {
        const std::string params =
            "{\"resourceName\":\"Dev1\",\"deviceInterfacePath\":\"" + module.devicePath() + "\"}";
        uint64_t context = 0;
        if (device_open(params.c_str(), "ai/0", &device) != 0 ||
            device_getContext(device, 10, 0, &context) != 0 ||
            trig_open(device, context, &handle) != 0) {
            throw std::runtime_error("no trigger context");
        }
        session = reinterpret_cast<trighal::TrigHALSession*>(static_cast<uintptr_t>(context));
    }
    ~TriggerContext() {
        trig_close(handle);
        device_close(device);
    }
};

constexpr uint32_t kTrigger = 1;
// The simulated driver records every request: cleared as often in both runs.
constexpr uint32_t kClearEvery = 1024;

void BM_softwareTriggerOnSession(benchmark::State& state) {
    TriggerContext context;
    trighal::TrigHALSession* volatile session = context.session;
    uint32_t count = 0;
    for (auto _ : state) {
        session->sendSoftwareTrigger(kTrigger);
        if (++count % kClearEvery == 0) context.module.decoder().clear();
    }
}
BENCHMARK(BM_softwareTriggerOnSession);

void BM_softwareTriggerThroughExport(benchmark::State& state) {
    TriggerContext context;
    uint32_t count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(trig_sendSoftwareTrigger(context.handle, kTrigger));
        if (++count % kClearEvery == 0) context.module.decoder().clear();
    }
}
BENCHMARK(BM_softwareTriggerThroughExport);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"trig_sendSoftwareTrigger through the export / on the session",
             "BM_softwareTriggerThroughExport", "BM_softwareTriggerOnSession"},
        });
}
