// device_open over arbitrary instance texts and session parameters, on the
// simulated module: the first line is the instance text, the rest the JSON.
// Every context a session can create without platform libraries is asked
// for, then the session is closed; no descriptor or FPGA session may stay.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "DeviceHALImpl/devicehalHandle.h"
#include "module/SimulatedModule.h"
#include "qvfpga/QvFpgaSim.h"

namespace {

qvsim::SimulatedModule& module() {
    static qvsim::SimulatedModule* simulated = [] {
        auto* created = new qvsim::SimulatedModule;
        qvsim::SimulatedModule::declareDefaultFifos();
        return created;
    }();
    return *simulated;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvsim::SimulatedModule& simulated = module();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t newline = input.find('\n');
    const std::string instance = input.substr(0, newline);
    std::string json = newline == std::string::npos ? "" : input.substr(newline + 1);
    // "@" stands for the module's device file, so inputs can reach it.
    for (size_t at = json.find('@'); at != std::string::npos; at = json.find('@', at + 1)) {
        json.replace(at, 1, simulated.devicePath());
        at += simulated.devicePath().size() - 1;
    }
    // A bitfile library is loaded by path: not something to fuzz with.
    if (json.find("bitfileDll") != std::string::npos) return 0;
    uint64_t handle = 0;
    if (device_open(json.c_str(), instance.c_str(), &handle) == 0) {
        for (uint32_t id = 0; id <= 34; ++id) {
            if (id == 24 || id == 25) continue;  // platform libraries of their own
            uint64_t context = 0;
            device_getContext(handle, id, 0, &context);
            device_getContext(handle, id, 1, &context);
        }
        device_close(handle);
    }
    simulated.decoder().clear();
    simulated.driver().clearRequests();
    qvfpgasim_clearLog();
    if (simulated.driver().openDescriptors() != 0 || qvfpgasim_openSessions() != 0) std::abort();
    return 0;
}
