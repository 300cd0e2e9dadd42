// An FPGA-driver host compiled elsewhere: it loads the shipped library by
// name, initializes the plug-in, lists the simulated module and drives an
// FPGA session on it through the objects' tables only, then gives
// everything back.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "atomiczekddk/shared/Errors.h"
#include "kerneldriver/Driver.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/BitfileGenerator.h"
#include "support/HostLibrary.h"
#include "zekhost/ZekHost.h"

namespace {

using zekhost::Status;

// open: the bitfile argument is the text; bit 0 keeps the image from running.
constexpr uint32_t kOpenBitfileIsText = 0x40000000;
constexpr uint32_t kOpenNoRun = 0x1;
constexpr uint32_t kAnyResource = 0xFFFFFFFF;
constexpr const char* kSignature = "0123456789ABCDEF00112233DEADBEEF";

// The module's image, carrying `bitstream`.
std::string moduleImage(const std::vector<uint8_t>& bitstream) {
    return qvtest::withBitstream(qvtest::readTextFile(qvsim::SimulatedModule::imagePath()),
                                 qvtest::base64Text(bitstream));
}

class FpgaDriverHost : public ::testing::Test {
protected:
    void SetUp() override {
        // A sanitizer's runtime may start a helper thread with the first thread.
        std::thread([] {}).join();
        threads = qvsim::processThreads();
        initialize = library.fn<zekhost::InitializeFunction>(zekhost::kInitialize);
        getInterface = library.fn<zekhost::GetInterfaceFunction>(zekhost::kGetInterface);
        finalize = library.fn<zekhost::FinalizeFunction>(zekhost::kFinalize);
    }
    void TearDown() override {
        if (list) list.release();
        if (started) {
            EXPECT_EQ(finalize(), 0);
        }
        EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
        EXPECT_EQ(module.driver().openDescriptors(), 0u);
    }

    qvsim::FpgaDevice& fpga() { return module.fpga(); }

    // Initializes the plug-in and takes the first device of its refreshed list.
    void start() {
        ASSERT_EQ(initialize(), 0);
        started = true;
        void* object = nullptr;
        ASSERT_EQ(getInterface(0, &object), 0);
        list = zekhost::DeviceList(object);
        Status status;
        list.refresh(status);
        ASSERT_EQ(status.code, 0);
        device = list.device(0, 0, status);
        ASSERT_TRUE(device);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    zekhost::InitializeFunction initialize = nullptr;
    zekhost::GetInterfaceFunction getInterface = nullptr;
    zekhost::FinalizeFunction finalize = nullptr;
    size_t threads = 0;
    bool started = false;
    zekhost::DeviceList list;
    zekhost::Device device;
};

TEST_F(FpgaDriverHost, TheHostViewNamesThePositionsOfTheListAndItsDevices) {
    EXPECT_EQ(zekhost::deviceList::kGetInterfaceVersion, 0u);
    EXPECT_EQ(zekhost::deviceList::kHasChanged, 1u);
    EXPECT_EQ(zekhost::deviceList::kRefresh, 2u);
    EXPECT_EQ(zekhost::deviceList::kGetDeviceCount, 3u);
    EXPECT_EQ(zekhost::deviceList::kGetDevice, 4u);
    EXPECT_EQ(zekhost::deviceList::kRelease, 5u);
    EXPECT_EQ(zekhost::deviceList::kRegisterChangeCallback, 6u);
    EXPECT_EQ(zekhost::deviceList::kUnregisterChangeCallback, 7u);
    EXPECT_EQ(zekhost::deviceList::kDeletingDestructor, 9u);
    EXPECT_EQ(zekhost::device::kGetPersistentToken, 1u);
    EXPECT_EQ(zekhost::device::kGetEntryValue, 2u);
    EXPECT_EQ(zekhost::device::kSetDeviceAttribute, 3u);
    EXPECT_EQ(zekhost::device::kGetDeviceAttribute, 4u);
    EXPECT_EQ(zekhost::device::kAlwaysOne, 5u);
    EXPECT_EQ(zekhost::device::kGetDefaultName, 6u);
    EXPECT_EQ(zekhost::device::kGetAlias, 7u);
    EXPECT_EQ(zekhost::device::kSetAlias, 8u);
    EXPECT_EQ(zekhost::device::kOpenFpgaSession, 9u);
    EXPECT_EQ(zekhost::device::kDeletingDestructor, 11u);
}

TEST_F(FpgaDriverHost, ListsTheSimulatedModule) {
    ASSERT_EQ(initialize(), 0);
    started = true;
    void* object = nullptr;
    ASSERT_EQ(getInterface(0, &object), 0);
    list = zekhost::DeviceList(object);
    EXPECT_EQ(list.interfaceVersion(), 0u);
    EXPECT_TRUE(list.hasChanged());
    EXPECT_EQ(list.count(), 0u);
    Status status;
    list.refresh(status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(list.hasChanged());
    ASSERT_EQ(list.count(), 1u);

    device = list.device(0, 0, status);
    ASSERT_TRUE(device);
    EXPECT_EQ(device.interfaceVersion(), 0u);
    EXPECT_EQ(device.alwaysOne(), 1u);
    const std::string token = device.persistentToken();
    EXPECT_EQ(token, std::string("Model=QV PXIe-3377;PCISlotPath=") +
                         qvsim::SimulatedModule::kPciSlotPath);
    EXPECT_STREQ(device.defaultName(), "");  // no chassis library: no PXI name
    EXPECT_EQ(zekhost::findDevice(list, token.c_str(), status).object(), device.object());

    EXPECT_FALSE(list.device(1, 0, status));
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    Status flagged;
    EXPECT_FALSE(list.device(0, 1, flagged));
    EXPECT_EQ(flagged.code, qvzek::kErrorNotSupported);
}

TEST_F(FpgaDriverHost, DrivesAnFpgaSessionByPosition) {
    ASSERT_NO_FATAL_FAILURE(start());
    Status status;

    const zekhost::FpgaSession session =
        device.openFpgaSession(zekhost::session::kInterfaceVersion, status);
    ASSERT_TRUE(session);
    EXPECT_EQ(session.interfaceVersion(), 5u);
    const std::vector<uint8_t> bitstream = qvtest::bitstreamBytes(4096);
    session.open(moduleImage(bitstream).c_str(), kSignature, kOpenBitfileIsText | kOpenNoRun,
                 status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(fpga().personalityBitstream(), bitstream);
    EXPECT_EQ(fpga().runState(), 0u);

    // Registers.
    fpga().setReg(0x8044, 0x1234);
    EXPECT_EQ(session.read<uint32_t>(0x8044, status), 0x1234u);
    session.write<uint32_t>(0x8018, 0xCAFE, status);
    EXPECT_EQ(fpga().reg(0x8018), 0xCAFEu);
    bool alreadyRunning = true;
    session.run(0, &alreadyRunning, status);
    EXPECT_FALSE(alreadyRunning);
    EXPECT_EQ(session.runState(status), 2u);
    ASSERT_EQ(status.code, 0);

    // A target-to-host FIFO: the device counts 0, 1, 2, ...
    uint32_t fetch = kAnyResource;
    session.findFifo("acq.fetch fifo 0", kAnyResource, &fetch, status);
    EXPECT_EQ(fetch, 2u);
    size_t depth = 0;
    session.configureFifo(fetch, 4096, &depth, status);
    session.startFifo(fetch, status);
    int16_t samples[16] = {};
    uint8_t waited = 0;
    size_t remaining = 0;
    session.readFifo<int16_t>(fetch, samples, 16, 1000, &waited, &remaining, status);
    ASSERT_EQ(status.code, 0);
    for (int16_t i = 0; i < 16; ++i) EXPECT_EQ(samples[i], i);

    // A host-to-target FIFO: the device checks the same count.
    uint32_t download = kAnyResource;
    session.findFifo("wgen.download fifo 0", kAnyResource, &download, status);
    EXPECT_EQ(download, 0u);
    session.configureFifo(download, 1024, &depth, status);
    session.startFifo(download, status);
    std::vector<uint64_t> words(32);
    for (size_t i = 0; i < words.size(); ++i) words[i] = i;
    session.writeFifo<uint64_t>(download, words.data(), words.size(), 1000, &waited, &remaining,
                                status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(fpga().fifo(download).released, words.size() * sizeof(uint64_t));
    EXPECT_EQ(fpga().fifo(download).mismatches, 0u);
    session.stopFifo(download, status);
    session.stopFifo(fetch, status);

    // An interrupt raised while the host waits, then a wait that times out.
    session.reserveIrqContext(status);
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        fpga().raiseIrqs(0x4);
    });
    bool timedOut = true;
    EXPECT_EQ(session.waitOnIrqs(0x6, 5000, &timedOut, status), 0x4u);
    raiser.join();
    EXPECT_FALSE(timedOut);
    session.acknowledgeIrqs(0x4, status);
    EXPECT_EQ(fpga().assertedIrqs(), 0u);
    EXPECT_EQ(session.waitOnIrqs(0x4, 10, &timedOut, status), 0u);
    EXPECT_TRUE(timedOut);
    session.unreserveIrqContext(status);
    EXPECT_EQ(status.code, 0);

    // The image cannot be reset: the session closes leaving it running.
    session.close(1, status);
    EXPECT_EQ(status.code, 0);
}

TEST_F(FpgaDriverHost, ARefusedImageLeavesTheDeviceUsable) {
    ASSERT_NO_FATAL_FAILURE(start());
    Status status;
    const zekhost::FpgaSession refused = device.openFpgaSession(5, status);
    ASSERT_TRUE(refused);
    refused.open("<Bitfile>", kSignature, kOpenBitfileIsText, status);
    EXPECT_EQ(status.code, qvzek::kErrorBitfileContent);
    refused.release();

    Status again;
    const zekhost::FpgaSession session = device.openFpgaSession(5, again);
    session.open(moduleImage(qvtest::bitstreamBytes(64)).c_str(), kSignature, kOpenBitfileIsText,
                 again);
    EXPECT_EQ(again.code, 0);
    session.close(1, again);
}

}  // namespace
