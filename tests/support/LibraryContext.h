// A family context of a device session that the shipped library opened on
// the simulated module, got as a driver gets it (device_open, then
// device_getContext): the only kind of handle the library's exports accept.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "module/SimulatedModule.h"
#include "support/HostLibrary.h"
#include "support/OwnedHandle.h"

namespace qvtest {

// The device_open parameters of the simulated module, with the given extra
// JSON members.
inline std::string deviceParams(const qvsim::SimulatedModule& module, const std::string& extra = "",
                                const std::string& resourceName = "Dev1") {
    std::string json = "{\"resourceName\":\"" + resourceName + "\",\"deviceInterfacePath\":\"" +
                       module.devicePath() + "\"";
    if (!extra.empty()) json += "," + extra;
    return json + "}";
}

// The members that give a device session an FPGA session on the FPGA
// interface library stand-in, with the module's default image.
inline const std::string kFpgaImageMembers =
    "\"bitfilePath\":\"/images/qv3377.qvimage\",\"sessionUID\":\"S-1\"";

// A device session of `instance` opened with `params`, closed when it goes
// out of scope; 0 when the open failed (the test fails).
inline OwnedHandle openDevice(HostLibrary& library, const char* instance,
                              const std::string& params) {
    uint64_t device = 0;
    EXPECT_EQ(library.fn<int32_t (*)(const char*, const char*, uint64_t*)>("device_open")(
                  params.c_str(), instance, &device),
              0)
        << instance << " " << params;
    return OwnedHandle(device, library.fn<void (*)(uint64_t)>("device_close"));
}

class LibraryContext {
public:
    // Context `id` of a new device session of `instance` ("ai/0", "ao/0")
    // opened with `params`; the requests the open and the context's creation
    // sent are cleared. A failure is a test failure, and the handle is then 0.
    LibraryContext(HostLibrary& library, qvsim::SimulatedModule& module, const char* instance,
                   uint32_t id, const std::string& params)
        : device_(openDevice(library, instance, params)) {
        if (device_ != 0) {
            EXPECT_EQ(library.fn<int32_t (*)(uint64_t, uint32_t, uint8_t, uint64_t*)>(
                          "device_getContext")(device_, id, 0, &handle_),
                      0)
                << "context " << id;
        }
        module.decoder().clear();
    }
    LibraryContext(HostLibrary& library, qvsim::SimulatedModule& module, const char* instance,
                   uint32_t id)
        : LibraryContext(library, module, instance, id, deviceParams(module)) {}
    LibraryContext(const LibraryContext&) = delete;
    LibraryContext& operator=(const LibraryContext&) = delete;

    uint64_t handle() const { return handle_; }
    uint64_t device() const { return device_; }

private:
    OwnedHandle device_;
    uint64_t handle_ = 0;
};

}  // namespace qvtest
