// The VISA library's view of the plug-in in a test: the shipped library
// loaded by name, its Ppi* entry points bound through plain C types, the
// simulated module behind them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "module/SimulatedModule.h"
#include "qvvisa_pxi_plugin_apal_codegen/VisaStatus.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

namespace qvtest {

// The plug-in's own names for the codes it returns.
using visapxipluginapalcodegen::kViErrorAttributeNotSupported;
using visapxipluginapalcodegen::kViErrorInvalidObject;
using visapxipluginapalcodegen::kViErrorInvalidParameter;
using visapxipluginapalcodegen::kViErrorInvalidPointer;
using visapxipluginapalcodegen::kViErrorInvalidSize;
using visapxipluginapalcodegen::kViErrorInvalidSpace;
using visapxipluginapalcodegen::kViErrorNotInitialized;
using visapxipluginapalcodegen::kViErrorNotSupported;
using visapxipluginapalcodegen::kViErrorResourceNotFound;
using visapxipluginapalcodegen::kViWarningNullObject;

#define VISA_ENTRY(member, name) library.fn<decltype(member)>("Ppi" name)

// The fifteen entry points as the VISA library declares them, bound by name.
struct VisaPluginApi {
    HostLibrary& library;
    int32_t (*initializePlugin)() = VISA_ENTRY(initializePlugin, "InitializePlugin");
    int32_t (*finalizePlugin)() = VISA_ENTRY(finalizePlugin, "FinalizePlugin");
    int32_t (*getDeviceIDs)(uint16_t wantFlags, int32_t capacity, uint64_t* ids, uint16_t* flags,
                            uint32_t* count) = VISA_ENTRY(getDeviceIDs, "GetDeviceIDs");
    int32_t (*open)(int32_t first, uint32_t bus, uint32_t device, uint32_t function,
                    uint64_t* session) = VISA_ENTRY(open, "Open");
    int32_t (*close)(uint64_t session) = VISA_ENTRY(close, "Close");
    int32_t (*getSpaceInfo)(uint64_t session, uint32_t space, uint16_t* first, uint64_t* second,
                            uint64_t* third) = VISA_ENTRY(getSpaceInfo, "GetSpaceInfo");
    int32_t (*getDeviceAttribute)(uint64_t session, uint32_t attribute,
                                  void* value) = VISA_ENTRY(getDeviceAttribute,
                                                            "GetDeviceAttribute");
    int32_t (*blockRead)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                         uint32_t access, uint16_t flag, void* buffer, uint64_t count,
                         uint32_t mode) = VISA_ENTRY(blockRead, "BlockRead");
    int32_t (*blockWrite)(uint64_t session, uint32_t unused, uint32_t space, uint64_t offset,
                          uint32_t access, uint16_t flag, const void* buffer, uint64_t count,
                          uint32_t mode) = VISA_ENTRY(blockWrite, "BlockWrite");
    // The six the module does not support; the VISA library passes their
    // arguments, which the plug-in ignores.
    using Unsupported = int32_t (*)(uint64_t session, uint64_t a, uint64_t b, uint64_t c);
    Unsupported unsupported[6] = {VISA_ENTRY(Unsupported{}, "MapMemory"),
                                  VISA_ENTRY(Unsupported{}, "UnmapMemory"),
                                  VISA_ENTRY(Unsupported{}, "EnableInterrupts"),
                                  VISA_ENTRY(Unsupported{}, "WaitInterrupt"),
                                  VISA_ENTRY(Unsupported{}, "DisableAndAbortWaitInterrupt"),
                                  VISA_ENTRY(Unsupported{}, "TerminateIO")};
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
