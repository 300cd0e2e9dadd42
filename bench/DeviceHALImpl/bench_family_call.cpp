// A family call through its export (handle conversion and the return-code
// frame) against the same call on the session object: what a handle costs a
// driver on every call. Then 1, 2, 4 and 8 threads each calling an export on
// a session of its own: calls per second should grow with the threads, as
// no look-up waits for another. A second thread runs throughout.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "../secondThread.h"
#include "DeviceHALImpl/devicehalHandle.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"

namespace {

// A trigger context of a device session on the simulated module, bound to a
// trig_ handle.
struct TriggerContext {
    qvsim::SimulatedModule& module;
    uint64_t device = 0;
    uint64_t handle = 0;
    trighal::TrigHALSession* session = nullptr;

    explicit TriggerContext(qvsim::SimulatedModule& on) : module(on) {
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
    qvsim::SimulatedModule module;
    TriggerContext context(module);
    trighal::TrigHALSession* volatile session = context.session;
    uint32_t count = 0;
    for (auto _ : state) {
        session->sendSoftwareTrigger(kTrigger);
        if (++count % kClearEvery == 0) context.module.decoder().clear();
    }
}
BENCHMARK(BM_softwareTriggerOnSession);

void BM_softwareTriggerThroughExport(benchmark::State& state) {
    qvsim::SimulatedModule module;
    TriggerContext context(module);
    uint32_t count = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(trig_sendSoftwareTrigger(context.handle, kTrigger));
        if (++count % kClearEvery == 0) context.module.decoder().clear();
    }
}
BENCHMARK(BM_softwareTriggerThroughExport);

// One trigger context per thread, on one module, opened before the threads
// start and closed after they end.
std::unique_ptr<qvsim::SimulatedModule> sharedModule;
std::vector<std::unique_ptr<TriggerContext>> perThread;

void openPerThread(const benchmark::State& state) {
    sharedModule = std::make_unique<qvsim::SimulatedModule>();
    for (int i = 0; i < state.threads(); ++i)
        perThread.push_back(std::make_unique<TriggerContext>(*sharedModule));
}

void closePerThread(const benchmark::State&) {
    perThread.clear();
    sharedModule.reset();
}

void BM_getTriggerIdOwnSessionPerThread(benchmark::State& state) {
    const uint64_t handle = perThread[static_cast<size_t>(state.thread_index())]->handle;
    int32_t id = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(trig_getTriggerID(handle, "ao/0/StartTrigger", &id));
        benchmark::DoNotOptimize(id);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_getTriggerIdOwnSessionPerThread)
    ->Setup(openPerThread)
    ->Teardown(closePerThread)
    ->UseRealTime()
    ->ThreadRange(1, 8);

}  // namespace

int main(int argc, char** argv) {
    const SecondThread second;
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"trig_sendSoftwareTrigger through the export / on the session",
             "BM_softwareTriggerThroughExport", "BM_softwareTriggerOnSession"},
            // Real time per call of all threads together: 1/8 of one
            // thread's at perfect scaling.
            {"trig_getTriggerID, 8 threads / 1 thread (time per call)",
             "BM_getTriggerIdOwnSessionPerThread/real_time/threads:8",
             "BM_getTriggerIdOwnSessionPerThread/real_time/threads:1", true},
        });
}
