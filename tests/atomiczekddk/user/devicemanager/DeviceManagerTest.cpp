// The device manager on the simulated module's FPGA interface: how modules
// are found and named, how the device map follows the driver, and how the
// proxy and FPGA object of a module are shared and reopened.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/user/devicemanager/DeviceManager.h"
#include "atomiczekddk/user/session/Fpga.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/QpxiStandIn.h"
#include "support/TempDir.h"

namespace {

using Proxy = sdihal::tInterfaceProxy_atomiczekddkqrx;
using Manager = qvzek::DeviceManagerPxiTemplate<Proxy>;
using qvsim::SimulatedModule;

constexpr const char* kInterface = "qv3377k_atomiczekddkqrx";
constexpr const char* kModulePciToken = "Model=QV PXIe-3377;PCISlotPath=0000:1c:0d.2";

std::vector<std::string> describe(const qvzek::DeviceInfoList& list) {
    std::vector<std::string> lines;
    for (const auto& info : list) {
        char code[16];
        snprintf(code, sizeof code, "%08X", info->busAddressCode);
        lines.push_back(info->persistentToken + " | " + info->defaultName + " | " + code + " | " +
                        info->interfacePath + " | " + info->interfaceName);
    }
    return lines;
}

class CountingHandler : public qvzek::IChangeNotificationHandler {
public:
    void notify() override { ++count; }
    int count = 0;
};

// Without the PXI chassis library: the PCI form of every token.
class PciManager : public ::testing::Test {
protected:
    SimulatedModule module;
    qverr::Status pxiStatus;
    qvqpxi::QPxiLibrary pxi{pxiStatus, "libqvqpxi-not-installed.so.1"};
    atomiczekhal::PciModelNameIdentifierCodegen models;
    Manager manager{Proxy::kInterfaceName, models, pxi};

    std::vector<std::string> listed() {
        int64_t change = -1;
        return describe(manager.getDevices(change));
    }
    std::string line(const std::string& token, const char* code, const std::string& path) {
        return token + " |  | " + code + " | " + path + " | " + kInterface;
    }
};

TEST(ModelNames, OnlyTheWholeIdentityNamesTheModule) {
    atomiczekhal::PciModelNameIdentifierCodegen& models =
        atomiczekhal::PciModelNameIdentifierCodegen::instance();
    EXPECT_EQ(models.getModelName(0x7C1E, 0xC4C4, 0x7822), "QV PXIe-3377");
    EXPECT_EQ(models.getModelName(0x7C1E, 0xC4C4, 0x7823), "Unknown device");
    EXPECT_EQ(models.getModelName(0x7C1E, 0xC4C4, 0), "Unknown device");
    EXPECT_EQ(models.getModelName(0x7C1E, 0xC4C5, 0x7822), "Unknown device");
    EXPECT_EQ(models.getModelName(0x7C1F, 0xC4C4, 0x7822), "Unknown device");
    EXPECT_EQ(models.getModelName(0x7822, 0xC4C4, 0x7C1E), "Unknown device");
}

TEST(BusAddressCode, PacksBusInvertedDeviceAndFunction) {
    EXPECT_EQ(qvzek::busAddressCode(0, 0, 0), 0x1000FF00u);
    EXPECT_EQ(qvzek::busAddressCode(0x1C, 0x0D, 2), 0x101CF202u);
    EXPECT_EQ(qvzek::busAddressCode(0xFF, 31, 7), 0x10FFE007u);
}

TEST_F(PciManager, EnumeratesTheModuleInThePciForm) {
    ASSERT_FALSE(pxi.isLoaded);
    EXPECT_EQ(describe(manager.enumerateDevices()),
              std::vector<std::string>{line(kModulePciToken, "101CF202", module.fpgaPath())});
    // A module whose identity cannot be read is left out; the others stay.
    module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
    module.tree().writeFile("proc/driver/qv/qv3377kb/busProperties/pciDeviceID", "too long");
    EXPECT_EQ(manager.enumerateDevices().size(), 1u);
    qvsim::VisaBlock::setBusNumber(module.tree(), "qv3377kb", "pciSubsystemID", 0x7823);
    qvsim::VisaBlock::setBusNumber(module.tree(), "qv3377kb", "pciDeviceID", 0xC4C4);
    const auto list = manager.enumerateDevices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->persistentToken, "Model=Unknown device;PCISlotPath=0000:1d:00.0");
}

TEST_F(PciManager, TheMapFollowsArrivalsRemovalsAndMoves) {
    EXPECT_TRUE(listed().empty());  // nothing until the first rescan
    EXPECT_TRUE(manager.hasChanged(-1));
    EXPECT_FALSE(manager.hasChanged(0));
    manager.onDevicesChanged();
    int64_t change = -1;
    EXPECT_EQ(manager.getDevices(change).size(), 1u);
    EXPECT_EQ(change, 1);
    EXPECT_TRUE(manager.hasChanged(0));
    EXPECT_FALSE(manager.hasChanged(1));

    const std::string second = module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
    manager.onDevicesChanged();
    const std::string secondToken = "Model=QV PXIe-3377;PCISlotPath=0000:1d:00.0";
    // In path order.
    EXPECT_EQ(listed(),
              (std::vector<std::string>{line(kModulePciToken, "101CF202", module.fpgaPath()),
                                        line(secondToken, "101DFF00", second)}));
    const auto kept = manager.getDevice(module.fpgaPath());

    // The second module moves to another interface path with its token:
    // only the new path stays listed.
    module.removeFpgaInterface("qv3377kb");
    const std::string moved = module.addFpgaInterface("qv3377kc", {0x1D, 0, 0}, "0000:1d:00.0");
    manager.onDevicesChanged();
    EXPECT_EQ(listed(),
              (std::vector<std::string>{line(kModulePciToken, "101CF202", module.fpgaPath()),
                                        line(secondToken, "101DFF00", moved)}));
    EXPECT_THROW(manager.getDevice(second), qverr::Exception);
    // An entry that stayed keeps its open proxy.
    EXPECT_EQ(manager.getDevice(module.fpgaPath()).proxy, kept.proxy);

    module.unplugFpga();
    manager.onDevicesChanged();
    EXPECT_EQ(listed(), std::vector<std::string>{line(secondToken, "101DFF00", moved)});
    manager.getDevices(change);
    EXPECT_EQ(change, 4);
}

TEST_F(PciManager, HandlersAreToldAfterEachRescanUntilUnregistered) {
    CountingHandler first, second;
    manager.registerChangeHandler(nullptr);
    manager.registerChangeHandler(&first);
    manager.registerChangeHandler(&second);
    manager.onDevicesChanged();
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(second.count, 1);
    manager.unregisterChangeHandler(&first);
    manager.unregisterChangeHandler(&first);
    manager.onDevicesChanged();
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(second.count, 2);
}

TEST_F(PciManager, HoldersShareOneProxyAndOneFpgaObject) {
    manager.onDevicesChanged();
    const std::string path = module.fpgaPath();
    const auto opensBefore = module.driver().callCount(qvsim::Call::open);
    auto first = manager.getDevice(path);
    auto second = manager.getDevice(path);
    ASSERT_NE(first.proxy, nullptr);
    ASSERT_NE(first.fpga, nullptr);
    EXPECT_EQ(first.proxy, second.proxy);
    EXPECT_EQ(first.fpga, second.fpga);
    EXPECT_EQ(manager.getDeviceProxy(path), first.proxy);
    EXPECT_EQ(module.driver().openDescriptors(), 1u);
    EXPECT_EQ(module.driver().callCount(qvsim::Call::open), opensBefore + 1);

    // The last holder lets go: the file closes, the next holder reopens it.
    first = {};
    EXPECT_EQ(module.driver().openDescriptors(), 1u);
    second = {};
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    auto third = manager.getDevice(path);
    EXPECT_EQ(module.driver().callCount(qvsim::Call::open), opensBefore + 2);

    // A holder of the proxy alone gets an FPGA object made over that proxy.
    auto proxyOnly = manager.getDeviceProxy(path);
    third = {};
    auto fourth = manager.getDevice(path);
    EXPECT_EQ(fourth.proxy, proxyOnly);
    EXPECT_NE(fourth.fpga, nullptr);
}

TEST_F(PciManager, AnUnusableDeviceIsReopenedForTheNextHolder) {
    manager.onDevicesChanged();
    const std::string path = module.fpgaPath();
    auto before = manager.getDevice(path);
    // Only the low byte tells whether the device is usable.
    module.fpga().setStateFlag(0x100);
    auto after = manager.getDevice(path);
    EXPECT_NE(after.proxy, before.proxy);
    EXPECT_NE(after.fpga, before.fpga);
    EXPECT_EQ(module.driver().openDescriptors(), 2u);

    module.fpga().setStateFlag(0x1);
    EXPECT_EQ(manager.getDevice(path).proxy, after.proxy);
    module.fpga().failNext("atomiczekddk_attribute.getStateFlag", -52008);
    auto third = manager.getDevice(path);
    EXPECT_NE(third.proxy, after.proxy);
}

TEST_F(PciManager, UnknownPathsAndFailedOpensAreThrown) {
    manager.onDevicesChanged();
    EXPECT_EQ(qvtest::thrownStatus([&] { manager.getDevice("/dev/qv/absent"); }).first,
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(qvtest::thrownStatus([&] { manager.getDeviceProxy("/dev/qv/absent"); }).first,
              qverr::qvapalerr_resourceNotFound);
    module.driver().failCall(qvsim::Call::open, EACCES);
    EXPECT_THROW(manager.getDevice(module.fpgaPath()), qverr::Exception);
    EXPECT_NE(manager.getDevice(module.fpgaPath()).proxy, nullptr);
}

TEST_F(PciManager, AFailingCloseIsSwallowed) {
    manager.onDevicesChanged();
    const size_t descriptors = qvsim::processDescriptors();
    auto handles = manager.getDevice(module.fpgaPath());
    module.driver().failCall(qvsim::Call::close, EIO);
    handles = {};
    EXPECT_EQ(module.driver().callCount(qvsim::Call::close), 1u);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

// With the PXI chassis library stand-in: modules it places get the chassis
// form and a default name.
class PxiManager : public ::testing::Test {
protected:
    PxiManager() { qpxi.addDevice(1, 2, 0, 0x1C, 0x0D, 2); }

    qvtest::QpxiStandIn qpxi;
    SimulatedModule module;
    qverr::Status pxiStatus;
    qvqpxi::QPxiLibrary pxi{pxiStatus};
    atomiczekhal::PciModelNameIdentifierCodegen models;
};

TEST_F(PxiManager, PlacedModulesTakeTheChassisForm) {
    ASSERT_TRUE(pxi.isLoaded);
    Manager manager(Proxy::kInterfaceName, models, pxi);
    // Unknown to the chassis library: the PCI form.
    module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
    qpxi.addDevice(0xFFFFFFFF, 3, 0, 0x1D, 0, 0);
    const auto list = manager.enumerateDevices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->persistentToken, "Model=QV PXIe-3377;Chassis=1;Slot=2");
    EXPECT_EQ(list[0]->defaultName, "PXI1Slot2");
    EXPECT_EQ(list[0]->busAddressCode, 0x101CF202u);
    EXPECT_EQ(list[1]->persistentToken, "Model=QV PXIe-3377;PCISlotPath=0000:1d:00.0");
    EXPECT_EQ(list[1]->defaultName, "");

    // A module the library fails on is left out.
    qpxi.failAt("openDeviceByAddr", 1);
    EXPECT_EQ(manager.enumerateDevices().size(), 0u);
}

TEST_F(PxiManager, AnInvalidPxiSessionCountsAsAChange) {
    Manager manager(Proxy::kInterfaceName, models, pxi);
    int64_t change = -1;
    EXPECT_FALSE(manager.hasChanged(0));
    // The chassis changed: a change although no rescan ran, and getDevices
    // rescans first.
    qpxi.setSessionValid(0);
    EXPECT_TRUE(manager.hasChanged(0));
    EXPECT_EQ(manager.getDevices(change).size(), 1u);
    EXPECT_EQ(change, 1);
    qpxi.setSessionValid(1);
    EXPECT_FALSE(manager.hasChanged(1));
    EXPECT_EQ(manager.getDevices(change).size(), 1u);
    EXPECT_EQ(change, 1);
}

TEST_F(PxiManager, TheManagerClosesEveryPxiHandle) {
    {
        Manager manager(Proxy::kInterfaceName, models, pxi);
        manager.onDevicesChanged();
        EXPECT_GT(qpxi.openHandles(), 0u);
    }
    EXPECT_EQ(qpxi.openHandles(), 0u);
}

}  // namespace
