// Cost of a 4 KiB block read through the VISA plug-in's entry point (checks,
// session look-up under the plug-in lock, the shared reference, the
// request) against the same request sent straight to the simulated driver:
// the system call alone with its request block built once, and the
// generated proxy method on a device file of its own. The simulated module
// copies the bytes in every case. Prints the ratios after the runs.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "../ratioReporter.h"
#include "apal_qv3377k/tInterfaceProxy_visapxipluginapalcodegen.h"
#include "module/SimulatedModule.h"
#include "qvapal/protons/system/tSystemInterface.h"
#include "qvvisa_pxi_plugin_apal_codegen/PpiExports.h"

namespace {

using nQVAPALS100::tStatus;
using qvsim::VisaBlock;

constexpr uint64_t kBlock = 4096;
constexpr uint32_t kBlockRead = 0x80208502;

// The module, with the request records it keeps dropped alike by every loop.
struct Module {
    qvsim::SimulatedModule module;
    // A device file of the module of its own, for the requests sent straight.
    sdihal::tInterfaceProxy_visapxipluginapalcodegen proxy;

    Module() {
        tStatus opened;
        proxy.open(module.devicePath().c_str(), opened);
    }

    void tidy(uint64_t iteration) {
        if (iteration % 4096 == 0) {
            module.decoder().clear();
            module.driver().clearRequests();
        }
    }
};

void BM_PpiBlockRead(benchmark::State& state) {
    Module m;
    PpiInitializePlugin();
    uint64_t session = 0;
    if (PpiOpen(0, VisaBlock::kBusNumber, VisaBlock::kDeviceNumber, VisaBlock::kFunctionNumber,
                &session) != 0) {
        state.SkipWithError("open refused");
    }
    alignas(64) static uint8_t buffer[kBlock];
    uint64_t iteration = 0;
    for (auto _ : state) {
        if (PpiBlockRead(session, 0, 1, 0, 4, 0, buffer, kBlock, 0) != 0)
            state.SkipWithError("read refused");
        benchmark::DoNotOptimize(buffer);
        m.tidy(++iteration);
    }
    PpiFinalizePlugin();
}
BENCHMARK(BM_PpiBlockRead);

void BM_ProxyBlockRead(benchmark::State& state) {
    Module m;
    alignas(64) static uint8_t buffer[kBlock];
    uint64_t iteration = 0;
    for (auto _ : state) {
        tStatus status;
        m.proxy.blockRead(1, 0, 4, 0, reinterpret_cast<uintptr_t>(buffer), kBlock, 0, status);
        if (status.isError()) state.SkipWithError("read refused");
        benchmark::DoNotOptimize(buffer);
        m.tidy(++iteration);
    }
}
BENCHMARK(BM_ProxyBlockRead);

void BM_BareBlockReadIoctl(benchmark::State& state) {
    Module m;
    alignas(64) static uint8_t buffer[kBlock];
    // The block record: space 1, offset 0, access 4, flag 0, buffer, count, mode 0, status 0.
    alignas(8) uint8_t in[48] = {};
    alignas(8) uint8_t out[4] = {};
    in[0] = 1;
    in[16] = 4;
    const uint64_t address = reinterpret_cast<uintptr_t>(buffer);
    __builtin_memcpy(in + 24, &address, sizeof address);
    __builtin_memcpy(in + 32, &kBlock, sizeof kBlock);
    sdihal::nQVAPAL000::tKernelRequestBlock block{reinterpret_cast<uintptr_t>(in),
                                                  reinterpret_cast<uintptr_t>(out),
                                                  sizeof in,
                                                  sizeof out,
                                                  0,
                                                  0};
    const auto ioctl = sdihal::nQVAPAL000::systemInterface().ioctl;
    uint64_t iteration = 0;
    for (auto _ : state) {
        block.bytesReturned = 0;  // the driver writes it back
        if (ioctl(m.proxy.descriptor(), kBlockRead, &block) != 0)
            state.SkipWithError("request refused");
        benchmark::DoNotOptimize(buffer);
        m.tidy(++iteration);
    }
}
BENCHMARK(BM_BareBlockReadIoctl);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"PpiBlockRead 4 KiB / bare ioctl", "BM_PpiBlockRead", "BM_BareBlockReadIoctl"},
            {"PpiBlockRead 4 KiB / proxy method", "BM_PpiBlockRead", "BM_ProxyBlockRead"},
        });
}
