// The VISA library's view of the plug-in in a test: the shipped library
// loaded by name, its Ppi* entry points bound through the C host, the
// simulated module behind them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "module/SimulatedModule.h"
#include "qvvisa_pxi_plugin_apal_codegen/visaHost.h"
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

class VisaPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        qvhost_library* raw = qvhost_load(QV_SHARED_LIBRARY);
        ASSERT_EQ(visahost_bind(raw, &plugin), 15);
        qvhost_unload(raw);  // the fixture's own reference keeps it loaded
    }

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
    visahost_plugin plugin{};
};

}  // namespace qvtest
