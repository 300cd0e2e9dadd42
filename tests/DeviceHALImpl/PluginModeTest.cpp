// device_open and device_close with the FPGA interface library stand-in in
// plug-in mode: the FPGA session of a device session is the FPGA driver's,
// so opening one runs through the driver layer down to the simulated FPGA
// device of the module, and closing gives it back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qvfpga/PluginHost.h"
#include "qvisl/QvFpgaDll.h"
#include "support/FpgaLibraryLog.h"
#include "support/ScopedEnvironment.h"
#include "support/SelfProcess.h"
#include "zekhost/ZekHost.h"

namespace {

class PluginMode : public ::testing::Test {
protected:
    void SetUp() override { module.shareEventLog(); }
    void TearDown() override {
        qvfpgasim_reset();
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
    }

    // Session parameters naming the module by `resource`, with its image.
    std::string params(const std::string& resource) const {
        return "{\"resourceName\":\"" + resource + "\",\"deviceInterfacePath\":\"" +
               host.module.devicePath() + "\",\"bitfilePath\":\"" +
               qvsim::SimulatedModule::imagePath() + "\",\"sessionUID\":\"S-1\"}";
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
        if (object == nullptr) return "";
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

    uint64_t opened = 0;
    ASSERT_EQ(host.open(params(resource).c_str(), "ai/0", &opened), 0);
    qvtest::OwnedHandle handle(opened, host.close);
    EXPECT_EQ(qvfpgasim_openSessions(), 1u);
    EXPECT_GT(fpgaRequests(), 0u);
    EXPECT_EQ(module.fpga().personalityBitstream().size(), 256u);  // the module image's

    // The interface library's open, then the FPGA device's file and its
    // requests, then the module's own device file.
    const std::vector<std::string> log = qvtest::fpgaLibraryLog();
    auto at = [&](const std::string& prefix) {
        return std::find_if(log.begin(), log.end(),
                            [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
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

    handle.close();
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
    // The interface library's close gives the FPGA device's file back.
    const std::vector<std::string> closed = qvtest::fpgaLibraryLog();
    const auto close = std::find_if(closed.begin(), closed.end(), [](const std::string& line) {
        return line.rfind("QvFpgaDll_Close", 0) == 0;
    });
    ASSERT_NE(close, closed.end());
    EXPECT_NE(std::find(close, closed.end(), "close " + module.fpga().name()), closed.end());
}

// The interface library's calls as the FIFO and interrupt bindings make
// them, each answered by the driver's session on the simulated FPGA device.
TEST_F(PluginMode, EachCallGoesToTheDriversSession) {
    const std::string resource = token();
    uint32_t session = 0;
    ASSERT_EQ(QvFpgaDll_Open(qvsim::SimulatedModule::imagePath(), nullptr, resource.c_str(),
                             qvisl::kOpenFromPath, &session),
              0);
    uint32_t fetch = 99;
    uint32_t download = 99;
    EXPECT_EQ(
        QvFpgaDll_FindFifoPrivate(session, "acq.fetch fifo 0", qvisl::kResourceTypeAny, &fetch), 0);
    EXPECT_EQ(QvFpgaDll_FindFifoPrivate(session, "wgen.download fifo 0", qvisl::kResourceTypeAny,
                                        &download),
              0);
    uint32_t absent = 0;
    EXPECT_EQ(QvFpgaDll_FindFifoPrivate(session, "nonexistent", qvisl::kResourceTypeAny, &absent),
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(fetch, 2u);
    EXPECT_EQ(download, 0u);

    // Properties by their kinds: the element sizes of I16 and U64 channels.
    uint32_t elementSize = 0;
    EXPECT_EQ(QvFpgaDll_GetFifoPropertyU32(session, fetch, 1, &elementSize), 0);
    EXPECT_EQ(elementSize, 2u);
    EXPECT_EQ(QvFpgaDll_GetFifoPropertyU32(session, download, 1, &elementSize), 0);
    EXPECT_EQ(elementSize, 8u);
    int64_t wrongKind = 0;
    EXPECT_EQ(QvFpgaDll_GetFifoPropertyI64(session, fetch, 1, &wrongKind),
              qvzek::kErrorPropertyWrongType);

    // Target to host: the device counts 0, 1, 2, ...
    size_t depth = 0;
    EXPECT_EQ(QvFpgaDll_ConfigureFifo2(session, fetch, 4096, &depth), 0);
    EXPECT_GE(depth, 4096u);
    EXPECT_EQ(QvFpgaDll_StartFifo(session, fetch), 0);
    int16_t samples[8] = {};
    size_t remaining = 0;
    ASSERT_EQ(QvFpgaDll_ReadFifoI16(session, fetch, samples, 8, 1000, &remaining), 0);
    for (int16_t i = 0; i < 8; ++i) EXPECT_EQ(samples[i], i);
    int16_t* elements = nullptr;
    size_t acquired = 0;
    ASSERT_EQ(QvFpgaDll_AcquireFifoReadElementsI16(session, fetch, &elements, 4, 1000, &acquired,
                                                   &remaining),
              0);
    ASSERT_NE(elements, nullptr);
    EXPECT_EQ(acquired, 4u);
    EXPECT_EQ(elements[0], 8);
    EXPECT_EQ(QvFpgaDll_ReleaseFifoElements(session, fetch, 4), 0);
    EXPECT_EQ(QvFpgaDll_StopFifo(session, fetch), 0);

    // Host to target: the device checks the same count.
    EXPECT_EQ(QvFpgaDll_ConfigureFifo2(session, download, 1024, &depth), 0);
    EXPECT_EQ(QvFpgaDll_StartFifo(session, download), 0);
    const uint64_t words[4] = {0, 1, 2, 3};
    EXPECT_EQ(QvFpgaDll_WriteFifoU64(session, download, words, 4, 1000, &remaining), 0);
    EXPECT_EQ(module.fpga().fifo(download).released, sizeof words);
    EXPECT_EQ(module.fpga().fifo(download).mismatches, 0u);
    EXPECT_EQ(QvFpgaDll_WriteFifoU8(session, download, nullptr, 0, 0, &remaining) < 0,
              true);  // not a byte FIFO

    // Interrupts.
    QvFpgaDll_IrqContext context = nullptr;
    ASSERT_EQ(QvFpgaDll_ReserveIrqContext(session, &context), 0);
    module.fpga().raiseIrqs(0x2);
    uint32_t asserted = 0;
    uint8_t timedOut = 1;
    EXPECT_EQ(QvFpgaDll_WaitOnIrqs(session, context, 0x3, 1000, &asserted, &timedOut), 0);
    EXPECT_EQ(asserted, 0x2u);
    EXPECT_EQ(timedOut, 0);
    EXPECT_EQ(QvFpgaDll_AcknowledgeIrqs(session, 0x2), 0);
    EXPECT_EQ(module.fpga().assertedIrqs(), 0u);
    EXPECT_EQ(QvFpgaDll_WaitOnIrqs(session, context, 0x2, 5, &asserted, &timedOut), 0);
    EXPECT_EQ(timedOut, 1);
    EXPECT_EQ(QvFpgaDll_UnreserveIrqContext(session, context), 0);
    EXPECT_EQ(QvFpgaDll_UnreserveIrqContext(session, context), qverr::qvapalerr_invalidParameter);

    // Injected results and unknown sessions as in the direct mode.
    qvfpgasim_injectResult("QvFpgaDll_StartFifo", qvzek::kErrorFifoTimedOut, 1);
    EXPECT_EQ(QvFpgaDll_StartFifo(session, fetch), qvzek::kErrorFifoTimedOut);
    EXPECT_EQ(QvFpgaDll_StartFifo(session + 1, fetch), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(QvFpgaDll_Close(session, qvisl::kCloseAttribute), 0);
    EXPECT_EQ(QvFpgaDll_Close(session, qvisl::kCloseAttribute), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

TEST_F(PluginMode, TheResourceNamesTheDeviceByTokenOrAlias) {
    token("Dev7");
    uint64_t handle = 0;
    EXPECT_EQ(host.open(params("dev7").c_str(), "ao/0", &handle), 0);
    host.close(handle);
    EXPECT_EQ(host.open(params("Dev8").c_str(), "ao/0", &handle),
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

TEST_F(PluginMode, AnImageTheDriverRefusesFailsTheOpen) {
    const std::string resource = token();
    uint64_t handle = 0;
    const std::string json = "{\"resourceName\":\"" + resource + "\",\"deviceInterfacePath\":\"" +
                             module.devicePath() +
                             "\",\"bitfilePath\":\"/nonexistent.qvimage\",\"sessionUID\":\"S\"}";
    EXPECT_EQ(host.open(json.c_str(), "ai/0", &handle), qvzek::kErrorBitfileUnreadable);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

// Hosts fork, and a child whose exec fails ends in exit, which finalizes
// the FPGA driver: whatever the child did with what it inherited, it ends
// cleanly, and the parent's sessions go on.
TEST_F(PluginMode, AForkedChildEndsCleanlyAndTheParentGoesOn) {
    const std::string resource = token();
    uint64_t handle = 0;
    ASSERT_EQ(host.open(params(resource).c_str(), "ai/0", &handle), 0);
    uint32_t session = 0;
    ASSERT_EQ(QvFpgaDll_Open(qvsim::SimulatedModule::imagePath(), nullptr, resource.c_str(),
                             qvisl::kOpenFromPath, &session),
              0);
    uint32_t fetch = 0;
    ASSERT_EQ(
        QvFpgaDll_FindFifoPrivate(session, "acq.fetch fifo 0", qvisl::kResourceTypeAny, &fetch), 0);
    size_t depth = 0;
    ASSERT_EQ(QvFpgaDll_ConfigureFifo2(session, fetch, 4096, &depth), 0);
    ASSERT_EQ(QvFpgaDll_StartFifo(session, fetch), 0);
    int16_t samples[4] = {};
    size_t remaining = 0;
    ASSERT_EQ(QvFpgaDll_ReadFifoI16(session, fetch, samples, 4, 1000, &remaining), 0);

    const auto finalize = host.library.fn<zekhost::FinalizeFunction>(zekhost::kFinalize);
    // Each child exits with 0 when its step worked, 3 when it did not.
    const std::pair<const char*, std::function<bool()>> children[] = {
        {"exits at once", [] { return true; }},
        {"uses the inherited sessions",
         [&] {
             int16_t read[4] = {};
             size_t left = 0;
             return QvFpgaDll_ReadFifoI16(session, fetch, read, 4, 1000, &left) == 0 &&
                    read[0] == 4;
         }},
        {"opens its own",
         [&] {
             uint64_t own = 0;
             if (host.open(params(resource).c_str(), "ao/0", &own) != 0) return false;
             host.close(own);
             return true;
         }},
        // Whatever ran before, the child's last finalize ends the objects it
        // inherited, without the threads that serve them.
        {"finalizes the driver", [&] { return finalize() == 0; }},
    };
    for (const auto& [what, step] : children) {
        const pid_t child = fork();
        if (child == 0) {
            if (!step()) _exit(3);
            exit(0);
        }
        EXPECT_EQ(qvtest::waitForExitWithin(child, std::chrono::seconds(30)), 0) << what;
    }

    ASSERT_EQ(QvFpgaDll_ReadFifoI16(session, fetch, samples, 4, 1000, &remaining), 0);
    EXPECT_EQ(samples[0], 4);
    EXPECT_EQ(QvFpgaDll_Close(session, qvisl::kCloseAttribute), 0);
    uint64_t own = 0;
    EXPECT_EQ(host.open(params(resource).c_str(), "ao/0", &own), 0);
    host.close(own);
    host.close(handle);
    EXPECT_EQ(qvfpgasim_openSessions(), 0u);
}

TEST_F(PluginMode, AMissingPluginFailsEveryOpen) {
    qvtest::ScopedEnvironment missing{qvfpgasim::kPluginVariable, "libqvzek-absent.so.1"};
    qvfpgasim_reset();
    uint64_t handle = 0;
    EXPECT_EQ(host.open(params("Dev1").c_str(), "ai/0", &handle),
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_Open"), 1u);
}

}  // namespace
