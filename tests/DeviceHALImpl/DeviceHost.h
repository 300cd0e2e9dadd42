// The device_ exports of the shipped library on the simulated module, as a
// C driver calls them, with the module's default FPGA image.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "module/SimulatedModule.h"
#include "qvfpga/QvFpgaSim.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/OwnedHandle.h"

namespace devicetest {

using OpenFn = int32_t (*)(const char*, const char*, uint64_t*);
using GetContextFn = int32_t (*)(uint64_t, uint32_t, uint8_t, uint64_t*);
using CloseFn = void (*)(uint64_t);

class DeviceHost {
public:
    DeviceHost() {
        qvfpgasim_reset();
        qvsim::SimulatedModule::declareDefaultFifos();
        open = library.fn<OpenFn>("device_open");
        getContext = library.fn<GetContextFn>("device_getContext");
        close = library.fn<CloseFn>("device_close");
    }
    ~DeviceHost() { qvfpgasim_reset(); }

    // Parameters with a bitfile (an FPGA session) and the given extra members.
    std::string params(const std::string& extra = "", bool bitfile = true) const {
        std::string members = bitfile ? qvtest::kFpgaImageMembers : "";
        if (!extra.empty()) members += (members.empty() ? "" : ",") + extra;
        return qvtest::deviceParams(module, members);
    }
    // A session of `instance`, closed when it goes out of scope; 0 when the
    // open failed (the test fails).
    qvtest::OwnedHandle openSession(const char* instance, const std::string& json) {
        return qvtest::openDevice(library, instance, json);
    }
    uint64_t context(uint64_t handle, uint32_t id, uint8_t flag = 0) {
        uint64_t out = 0;
        EXPECT_EQ(getContext(handle, id, flag, &out), 0) << "context " << id;
        return out;
    }
    int32_t contextCode(uint64_t handle, uint32_t id, uint8_t flag = 0) {
        uint64_t out = 0;
        return getContext(handle, id, flag, &out);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    OpenFn open = nullptr;
    GetContextFn getContext = nullptr;
    CloseFn close = nullptr;
};

}  // namespace devicetest
