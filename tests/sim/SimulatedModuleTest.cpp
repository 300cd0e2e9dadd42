// The shared simulated module as every later test finds it.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "DeviceHALImpl/DeviceHALSession.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "atomiczekddk/bitfile/Types.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"
#include "atomiczekddk/user/session/Fpga.h"
#include "module/SimulatedModule.h"
#include "qvapal/protons/device_notification/tNotificationDispatcher.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"
#include "qverr/Codes.h"

namespace {

using nQVAPALS100::tStatus;
using qvsim::SimulatedModule;

TEST(SimulatedModule, IsPublishedAndAnswersItsBaseline) {
    SimulatedModule module;
    tStatus status;
    sdihal::nQVAPAL000::tDeviceInterfaceIterator entry(
        sdihal::tInterfaceProxy_qv3377k::kInterfaceName, status);
    ASSERT_FALSE(entry.isEnd());
    sdihal::nQVAPAL000::tInterfacePath path;
    entry.getInterfacePath(path, status);
    EXPECT_EQ(std::string(path.path), module.devicePath());

    sdihal::tInterfaceProxy_qv3377k proxy;
    proxy.open(path, status);
    sdihal::iInterfaceProxy_rfplat& rfplat = proxy;
    EXPECT_EQ(rfplat.getDriverInterfaceVersion(status), 0x00010004u);
    int32_t revision = 0;
    rfplat.getModuleRev(0, &revision, status);
    EXPECT_EQ(revision, 3);
    sdihal::tRecord<64> traits;
    uint32_t size = 0;
    static_cast<sdihal::iInterfaceProxy_mra&>(proxy).getTraits(&traits, &size, status, 0);
    EXPECT_EQ(size, 61u);
    ASSERT_EQ(status.getCode(), 0);

    rfplat.getModuleRev(1, &revision, status);
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_invalidParameter);
    proxy.close();
}

// The FPGA interface entries in enumeration order: "<path> <bus>:<device>.<function>
// <vendor>/<device id>/<subsystem> <slot path>".
std::vector<std::string> fpgaInterfaces() {
    tStatus status;
    std::vector<std::string> found;
    sdihal::nQVAPAL000::tDeviceInterfaceIterator entry("qv3377k_atomiczekddkqrx", status);
    for (; !entry.isEnd(); entry.next()) {
        sdihal::nQVAPAL000::tInterfacePath path;
        entry.getInterfacePath(path, status);
        uint32_t v[6] = {};
        const char* names[] = {"pciBusNumber", "pciDeviceNumber", "pciFunctionNumber",
                               "pciVendorID",  "pciDeviceID",     "pciSubsystemID"};
        for (int i = 0; i < 6; ++i) {
            uint64_t size = 0;
            entry.getBusProperty(names[i], &v[i], sizeof v[i], &size, status);
        }
        char numbers[64];
        snprintf(numbers, sizeof numbers, " %X:%X.%X %X/%X/%X", v[0], v[1], v[2], v[3], v[4], v[5]);
        std::string line = path.path + std::string(numbers);
        char slotPath[64] = {};
        uint64_t size = 0;
        entry.getBusProperty("pciSlotPath", slotPath, sizeof slotPath - 1, &size, status);
        line += std::string(" ") + slotPath;
        found.push_back(line);
    }
    EXPECT_EQ(status.code, 0);
    return found;
}

std::string nextNotification(sdihal::nQVAPAL000::tNotificationDispatcher& dispatcher) {
    tStatus status;
    bool got = false, arrived = false;
    sdihal::nQVAPAL000::tBasicString device, interface;
    dispatcher.waitForNotification(&got, device, interface, &arrived, status);
    if (!got) return "";
    return (arrived ? "+" : "-") + std::string(device.c_str()) + "/" + interface.c_str();
}

TEST(SimulatedModule, PublishesItsFpgaInterfaceWithTheModulesPciIdentity) {
    SimulatedModule module;
    EXPECT_EQ(fpgaInterfaces(),
              std::vector<std::string>{module.fpgaPath() + " 1C:D.2 7C1E/C4C4/7822 0000:1c:0d.2"});

    // The FPGA driver's requests on that file reach the module's FPGA device.
    module.fpga().setStateFlag(0x1234);
    tStatus status;
    sdihal::tInterfaceProxy_atomiczekddkqrx proxy;
    proxy.open(module.fpgaPath().c_str(), status);
    EXPECT_EQ(
        static_cast<sdihal::iInterfaceProxy_atomiczekddk_attribute&>(proxy).getStateFlag(status),
        0x1234u);
    EXPECT_EQ(status.code, 0);
    proxy.close();
}

TEST(SimulatedModule, FpgaInterfacesComeAndGoAsTheDispatcherSeesThem) {
    SimulatedModule module;
    tStatus status;
    const char* names[] = {"qv3377k_atomiczekddkqrx"};
    sdihal::nQVAPAL000::tNotificationDispatcher dispatcher(names, 1, status);
    ASSERT_EQ(status.code, 0);

    module.unplugFpga();
    EXPECT_TRUE(fpgaInterfaces().empty());
    EXPECT_EQ(nextNotification(dispatcher), "-qv3377k/qv3377k_atomiczekddkqrx");
    module.plugFpga();
    EXPECT_EQ(nextNotification(dispatcher), "+qv3377k/qv3377k_atomiczekddkqrx");

    const std::string second = module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
    EXPECT_NE(second, module.fpgaPath());
    EXPECT_EQ(nextNotification(dispatcher), "+qv3377kb/qv3377k_atomiczekddkqrx");
    EXPECT_EQ(fpgaInterfaces(),
              (std::vector<std::string>{module.fpgaPath() + " 1C:D.2 7C1E/C4C4/7822 0000:1c:0d.2",
                                        second + " 1D:0.0 7C1E/C4C4/7822 0000:1d:00.0"}));
    module.removeFpgaInterface("qv3377kb");
    EXPECT_EQ(nextNotification(dispatcher), "-qv3377kb/qv3377k_atomiczekddkqrx");
    EXPECT_EQ(fpgaInterfaces().size(), 1u);
    dispatcher.stop();
}

TEST(SimulatedModule, HoldsTheOnlyDecoderOfItsDriver) {
    SimulatedModule module;
    EXPECT_THROW(qvsim::RequestDecoder second(module.driver()), std::logic_error);

    // A test changes the module's behaviour through the one decoder.
    module.on("rfplat.getDriverInterfaceVersion",
              [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
                  reply.set("return", 0x00020001u);
                  return 0;
              });
    tStatus status;
    sdihal::tInterfaceProxy_qv3377k proxy;
    sdihal::nQVAPAL000::tInterfacePath path;
    snprintf(path.path, sizeof path.path, "%s", module.devicePath().c_str());
    proxy.open(path, status);
    EXPECT_EQ(static_cast<sdihal::iInterfaceProxy_rfplat&>(proxy).getDriverInterfaceVersion(status),
              0x00020001u);
    EXPECT_EQ(module.decoder().requests().size(), 1u);
    proxy.close();
}

TEST(SimulatedModule, ANewModuleAfterTheLastOneGetsItsOwnDecoder) {
    { SimulatedModule first; }
    SimulatedModule second;
    SUCCEED();
}

// The numbers the library, this module and the tests share by name, typed in
// from the protocol so that a wrong constant cannot pass unnoticed.
TEST(SharedNumbers, KeepTheirProtocolValues) {
    namespace control = qvzek::user::control;
    namespace context = qv3377hal::context;
    const struct {
        const char* name;
        uint64_t value;
        uint64_t expected;
    } cases[] = {
        {"control unreachable", control::kUnreachable, 0xFFFFFFFF},
        {"control error bit 6", control::kErrorBit6, 0x40},
        {"control error bit 4", control::kErrorBit4, 0x10},
        {"control error bit 7", control::kErrorBit7, 0x80},
        {"control state mask", control::kStateMask, 3},
        {"state not running", control::kStateNotRunning, 0},
        {"state invalid", control::kStateInvalid, 1},
        {"state running", control::kStateRunning, 2},
        {"state aborted", control::kStateAborted, 3},
        {"run write stop", control::kWriteStop, 4},
        {"run write none", control::kWriteNone, 0},
        {"run write start", control::kWriteStart, 2},
        {"fifo target to host", qvzek::kFifoTargetToHost, 0},
        {"fifo host to target", qvzek::kFifoHostToTarget, 1},
        {"fifo p2p reader", qvzek::kFifoPeerToPeerReader, 2},
        {"fifo p2p writer", qvzek::kFifoPeerToPeerWriter, 3},
        {"fifo unknown", qvzek::kFifoUnknownKind, 255},
        {"map read write", sdihal::nQVAPAL000::kMapReadWrite, 1},
        {"map read only", sdihal::nQVAPAL000::kMapReadOnly, 0},
        {"bus pci", qvzek::kBusTypePci, 0x20706369},
        {"bus usb", qvzek::kBusTypeUsb, 0x20757362},
        {"bus kind other", qvzek::kBusKindOther, 0},
        {"bus kind pci", qvzek::kBusKindPci, 1},
        {"bus kind usb", qvzek::kBusKindUsb, 3},
        {"context data path", context::kDataPath, 0},
        {"context resampler", context::kResampler, 2},
        {"context freq shift", context::kFreqShift, 3},
        {"context impairments", context::kImpairments, 4},
        {"context digital offset", context::kDigitalOffset, 5},
        {"context equalizer", context::kEqualizer, 6},
        {"context basecard", context::kBasecardConfig, 7},
        {"context digital gain", context::kDigitalGain, 9},
        {"context trig", context::kTrig, 10},
        {"context placeholder", context::kPlaceholder, 11},
        {"context cal in", context::kCalInDsp, 12},
        {"context mra", context::kMra, 13},
        {"context cal out", context::kCalOutDsp, 14},
        {"context wgen", context::kWGen, 15},
        {"context iq data trigger", context::kIQDataTrigger, 16},
        {"context p2p", context::kP2PDescription, 17},
        {"context iq manipulation", context::kIQManipulation, 18},
        {"context syntra", context::kSyntraSync, 19},
        {"context iq config", context::kIQConfig, 20},
        {"context gen placeholder", context::kGenerationPlaceholder, 21},
        {"context list mode", context::kListMode, 22},
        {"context timer", context::kTimer, 23},
        {"context self cal", context::kSelfCal, 24},
        {"context routing", context::kRouting, 25},
        {"context equalizer v3", context::kEqualizerV3, 26},
        {"context second equalizer", context::kSecondChainEqualizer, 27},
        {"context reservation", context::kReservation, 28},
        {"context data access", context::kDataAccess, 32},
        {"context second offset", context::kSecondDigitalOffset, 33},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, c.expected) << c.name;
}

}  // namespace
