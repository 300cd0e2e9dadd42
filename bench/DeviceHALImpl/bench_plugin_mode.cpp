// device_open + device_close of an acquisition session on the simulated
// module, its FPGA session served by the FPGA interface library stand-in in
// plug-in mode (through this library's FPGA driver down to the simulated
// FPGA device: image parsing, personality download, FIFO set-up) against the
// stand-in's direct mode (its own model, no driver): what the FPGA driver
// layer adds to a device session's life.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "../ratioReporter.h"
#include "module/SimulatedModule.h"
#include "qvfpga/PluginHost.h"
#include "qvfpga/QvFpgaSim.h"
#include "zekhost/ZekHost.h"

namespace {

using OpenFn = int32_t (*)(const char*, const char*, uint64_t*);
using CloseFn = void (*)(uint64_t);

// The shipped library, as a driver loads it; the plug-in mode finds the
// same one by its name.
struct Library {
    void* handle = dlopen(QV_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F fn(const char* name) {
        return reinterpret_cast<F>(handle != nullptr ? dlsym(handle, name) : nullptr);
    }
    OpenFn open = fn<OpenFn>("device_open");
    CloseFn close = fn<CloseFn>("device_close");
    ~Library() {
        if (handle != nullptr) dlclose(handle);
    }
};

// The module's persistent token, through the plug-in's device list.
std::string token(Library& library) {
    auto initialize = library.fn<zekhost::InitializeFunction>(zekhost::kInitialize);
    auto getInterface = library.fn<zekhost::GetInterfaceFunction>(zekhost::kGetInterface);
    auto finalize = library.fn<zekhost::FinalizeFunction>(zekhost::kFinalize);
    std::string text;
    if (initialize == nullptr || getInterface == nullptr || finalize == nullptr) return text;
    void* object = nullptr;
    if (initialize() == 0 && getInterface(0, &object) == 0) {
        const zekhost::DeviceList list(object);
        zekhost::Status status;
        list.refresh(status);
        const zekhost::Device device = list.device(0, 0, status);
        if (device) text = device.persistentToken();
        list.release();
    }
    finalize();
    return text;
}

void openClose(benchmark::State& state, bool plugin) {
    // The module's image streams peer to peer: the FPGA driver finds the
    // streaming library's stand-in by name once it is loaded.
    static void* const streaming = dlopen(QV_P2P_LIBRARY, RTLD_NOW);
    if (streaming == nullptr) {
        state.SkipWithError("the streaming library's stand-in did not load");
        return;
    }
    qvsim::SimulatedModule module;
    Library library;
    if (library.open == nullptr || library.close == nullptr) {
        state.SkipWithError("the library did not load");
        return;
    }
    // The mode is chosen at the stand-in's first call after the reset.
    plugin ? setenv(qvfpgasim::kPluginVariable, "libqv3377hal.so.1", 1)
           : unsetenv(qvfpgasim::kPluginVariable);
    qvfpgasim_reset();
    const std::string json = "{\"resourceName\":\"" + token(library) +
                             "\",\"deviceInterfacePath\":\"" + module.devicePath() +
                             "\",\"bitfilePath\":\"" + qvsim::SimulatedModule::imagePath() +
                             "\",\"sessionUID\":\"bench\"}";
    for (auto _ : state) {
        uint64_t handle = 0;
        if (library.open(json.c_str(), "ai/0", &handle) != 0) {
            state.SkipWithError("device_open failed");
            break;
        }
        library.close(handle);
        module.decoder().clear();
        qvfpgasim_clearLog();
    }
    qvfpgasim_reset();
    unsetenv(qvfpgasim::kPluginVariable);
}

void BM_deviceOpenClosePluginMode(benchmark::State& state) {
    openClose(state, true);
}
BENCHMARK(BM_deviceOpenClosePluginMode);

void BM_deviceOpenCloseDirectMode(benchmark::State& state) {
    openClose(state, false);
}
BENCHMARK(BM_deviceOpenCloseDirectMode);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"device_open + device_close, plug-in mode / direct mode",
             "BM_deviceOpenClosePluginMode", "BM_deviceOpenCloseDirectMode"},
        });
}
