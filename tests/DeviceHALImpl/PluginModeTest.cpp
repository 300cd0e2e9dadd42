// device_open and device_close with the FPGA interface library stand-in in
// plug-in mode: the FPGA session of a device session is the FPGA driver's,
// so opening one runs through the driver layer down to the simulated FPGA
// device of the module, and closing gives it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "qvfpga/PluginHost.h"
#include "support/FpgaLibraryLog.h"
#include "support/ScopedEnvironment.h"
#include "zekhost/ZekHost.h"

namespace {

class PluginMode : public ::testing::Test {
protected:
    void SetUp() override {
        module.shareEventLog();
    }
    void TearDown() override {
        qvfpgasim_reset();
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
    }

    // Session parameters naming the module by `resource`, with its image.
    std::string params(const std::string& resource) const {
        return "{\"resourceName\":\"" + resource + "\",\"deviceInterfacePath\":\"" + host.module.devicePath() +
               "\",\"bitfilePath\":\"" + qvsim::SimulatedModule::imagePath() + "\",\"sessionUID\":\"S-1\"}";
    }

    // The persistent token the FPGA driver gives the module, or with
    // `alias` set, that alias; asked through the plug-in's own device list.
    std::string token(const char* alias = nullptr) {
        auto initialize = host.library.fn<zekhost::InitializeFunction>(zekhost::kInitialize);
        auto getInterface = host.library.fn<zekhost::GetInterfaceFunction>(zekhost::kGetInterface);
        auto finalize = host.library.fn<zekhost::FinalizeFunction>(zekhost::kFinalize);
        EXPECT_EQ(initialize(), 0);
        void* object = nullptr;
        EXPECT_EQ(getInterface(0, &object), 0);
        const zekhost::DeviceList list(object);
        zekhost::Status status;
        list.refresh(status);
        const zekhost::Device device = list.device(0, 0, status);
        std::string text = device ? device.persistentToken() : "";
        if (device && alias != nullptr) {
            device.setAlias(alias, 0, nullptr, status);
            EXPECT_EQ(status.code, 0);
        }
        list.release();
        EXPECT_EQ(finalize(), 0);
        return text;
    }

    size_t fpgaRequests() const {
        size_t count = 0;
        for (const auto& request : module.decoder().requests()) {
            count += request.name().rfind("atomiczekddk", 0) == 0;
        }
        return count;
    }

    // Set before the host resets the stand-in: its next call chooses the mode.
    qvtest::ScopedEnvironment plugin{qvfpgasim::kPluginVariable, "libqv3377hal.so.1"};
    devicetest::DeviceHost host;
    qvsim::SimulatedModule& module = host.module;
};

TEST_F(PluginMode, DeviceOpenRunsThroughTheFpgaDriverToTheSimulatedFpga) {
    const std::string resource = token();
    ASSERT_FALSE(resource.empty());
    qvfpgasim_clearLog();
    module.decoder().clear();

    uint64_t handle = 0;
    ASSERT_EQ(host.open(params(resource).c_str(), "ai/0", &handle), 0);
    EXPECT_EQ(qvfpgasim_openSessions(), 1u);
    EXPECT_GT(fpgaRequests(), 0u);
    EXPECT_EQ(module.fpga().personalityBitstream().size(), 256u);  // the module image's

    // The interface library's open, then the FPGA device's file and its
    // requests, then the module's own device file.
    const std::vector<std::string> log = qvtest::fpgaLibraryLog();
    auto at = [&](const std::string& prefix) {
        return std::find_if(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    const auto open = at("QvFpgaDll_Open");
    const auto fpgaFile = at("open " + module.fpga().name());
    ASSERT_NE(open, log.end());
    ASSERT_NE(fpgaFile, log.end());
    EXPECT_LT(open, fpgaFile);
    EXPECT_LT(fpgaFile, at("open " + std::string(qvsim::SimulatedModule::kDeviceName)));
    // The driver session answers the look-up of the streaming FIFO the
    // image does not have.
    EXPECT_NE(at("QvFpgaDll_FindFifoPrivate"), log.end());

    host.close(handle);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
    // The interface library's close gives the FPGA device's file back.
    const std::vector<std::string> closed = qvtest::fpgaLibraryLog();
    const auto close = std::find_if(closed.begin(), closed.end(),
                                    [](const std::string& line) { return line.rfind("QvFpgaDll_Close", 0) == 0; });
    ASSERT_NE(close, closed.end());
    EXPECT_NE(std::find(close, closed.end(), "close " + module.fpga().name()), closed.end());
}

TEST_F(PluginMode, TheResourceNamesTheDeviceByTokenOrAlias) {
    token("RIO7");
    uint64_t handle = 0;
    EXPECT_EQ(host.open(params("rio7").c_str(), "ao/0", &handle), 0);
    host.close(handle);
    EXPECT_EQ(host.open(params("RIO8").c_str(), "ao/0", &handle), -52006);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

TEST_F(PluginMode, AnImageTheDriverRefusesFailsTheOpen) {
    const std::string resource = token();
    uint64_t handle = 0;
    const std::string json = "{\"resourceName\":\"" + resource + "\",\"deviceInterfacePath\":\"" +
                             module.devicePath() + "\",\"bitfilePath\":\"/nonexistent.lvbitx\",\"sessionUID\":\"S\"}";
    EXPECT_EQ(host.open(json.c_str(), "ai/0", &handle), -63101);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

TEST_F(PluginMode, AMissingPluginFailsEveryOpen) {
    qvtest::ScopedEnvironment missing{qvfpgasim::kPluginVariable, "libqvzek-absent.so.1"};
    qvfpgasim_reset();
    uint64_t handle = 0;
    EXPECT_EQ(host.open(params("RIO0").c_str(), "ai/0", &handle), -52006);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"), 1u);
}

}  // namespace
