// The VISA library's view of the plug-in in a test: the shipped library
// loaded by name, its Ppi* entry points bound through plain C types, the
// simulated module behind them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "module/SimulatedModule.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

namespace qvtest {

inline constexpr int32_t kViErrorInvalidObject = static_cast<int32_t>(0xBFFF000Eu);
inline constexpr int32_t kViErrorResourceNotFound = static_cast<int32_t>(0xBFFF0011u);
inline constexpr int32_t kViErrorAttributeNotSupported = static_cast<int32_t>(0xBFFF001Du);
inline constexpr int32_t kViErrorNotInitialized = static_cast<int32_t>(0xBFFF003Au);
inline constexpr int32_t kViErrorInvalidSpace = static_cast<int32_t>(0xBFFF004Eu);
inline constexpr int32_t kViErrorInvalidPointer = static_cast<int32_t>(0xBFFF0071u);
inline constexpr int32_t kViErrorInvalidParameter = static_cast<int32_t>(0xBFFF0078u);
inline constexpr int32_t kViErrorNotSupported = static_cast<int32_t>(0xBFFF0081u);
inline constexpr int32_t kViErrorInvalidSize = static_cast<int32_t>(0xBFFF0083u);
inline constexpr int32_t kViWarningNullObject = static_cast<int32_t>(0x3FFF0082u);

// The fifteen entry points as the VISA library declares them.
struct VisaPluginApi {
    explicit VisaPluginApi(HostLibrary& library) : library_(library) {}

    struct Entry {
        void* address;
        template <class F>
        operator F() const { return reinterpret_cast<F>(address); }
    };
    Entry entry(const char* name) { return {library_.fn<void*>(std::string("Ppi") + name)}; }

    HostLibrary& library_;
    int32_t (*initializePlugin)() = entry("InitializePlugin");
    int32_t (*finalizePlugin)() = entry("FinalizePlugin");
    int32_t (*getDeviceIDs)(uint16_t wantFlags, int32_t capacity, uint64_t* ids, uint16_t* flags,
                            uint32_t* count) = entry("GetDeviceIDs");
    int32_t (*open)(int32_t first, uint32_t bus, uint32_t device, uint32_t function, uint64_t* session) =
        entry("Open");
    int32_t (*close)(uint64_t session) = entry("Close");
    int32_t (*getSpaceInfo)(uint64_t session, uint32_t space, uint16_t* first, uint64_t* second,
                            uint64_t* third) = entry("GetSpaceInfo");
    int32_t (*getDeviceAttribute)(uint64_t session, uint32_t attribute, void* value) = entry("GetDeviceAttribute");
    int32_t (*blockRead)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset, uint32_t access,
                         uint16_t flag, void* buffer, uint64_t count, uint32_t mode) = entry("BlockRead");
    int32_t (*blockWrite)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset, uint32_t access,
                          uint16_t flag, const void* buffer, uint64_t count, uint32_t mode) = entry("BlockWrite");
    // The six the module does not support; the VISA library passes their
    // arguments, which the plug-in ignores.
    using Unsupported = int32_t (*)(uint64_t session, uint64_t a, uint64_t b, uint64_t c);
    Unsupported unsupported[6] = {entry("MapMemory"),       entry("UnmapMemory"),
                                  entry("EnableInterrupts"), entry("WaitInterrupt"),
                                  entry("DisableAndAbortWaitInterrupt"), entry("TerminateIO")};
};

class VisaPlugin : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.loaded()); }

    // Opens the simulated module at its PCI address (plug-in initialised).
    uint64_t openModule() {
        uint64_t session = 0;
        EXPECT_EQ(plugin.open(0, qvsim::VisaBlock::kBusNumber, qvsim::VisaBlock::kDeviceNumber,
                              qvsim::VisaBlock::kFunctionNumber, &session),
                  0);
        return session;
    }

    qvsim::SimulatedModule module;
    HostLibrary library{QV_SHARED_LIBRARY};
    VisaPluginApi plugin{library};
};

}  // namespace qvtest
