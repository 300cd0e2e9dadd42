// The session factory over a simulated FPGA device listed by the driver
// tree, with a device manager that hands out one proxy and FPGA object per
// path: the handlers both session kinds get, the target-class check, a
// device the driver no longer lists, and a failed build.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "AtomicZEKHALImpl/SessionFactoryQrx.h"
#include "atomiczekddk/bitfile/OwnerCodes.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/devicemanager/DeviceManager.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/session/SessionFixture.h"
#include "kerneldriver/DeviceTree.h"
#include "module/SimulatedModule.h"
#include "support/TempDir.h"

namespace {

using Proxy = sdihal::tInterfaceProxy_atomiczekddkqrx;

std::string u32(uint32_t value) {
    std::string bytes(4, '\0');
    memcpy(bytes.data(), &value, 4);
    return bytes;
}

std::shared_ptr<const qvzek::DeviceInfo> deviceAt(const std::string& path) {
    auto info = std::make_shared<qvzek::DeviceInfo>();
    info->interfacePath = path;
    info->interfaceName = "qv3377k_atomiczekddkqrx";
    return info;
}

// Opens each known path once and keeps it, as the real manager does while
// a session holds it.
class OneDeviceManager : public atomiczekhal::DeviceManagerQrx {
public:
    bool hasChanged(int64_t) override { return false; }
    qvzek::DeviceInfoList getDevices(int64_t& changeNumber) override {
        changeNumber = 0;
        return {};
    }
    void registerChangeHandler(qvzek::IChangeNotificationHandler*) override {}
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler*) override {}
    std::shared_ptr<Proxy> getDeviceProxy(const std::string& path) override { return getDevice(path).proxy; }
    qvzek::DeviceHandles<Proxy> getDevice(const std::string& path) override {
        if (path != known) qvzek::throwStatusCode(-52006);
        if (!handles.proxy) {
            handles.proxy = std::make_shared<Proxy>();
            nQVAPALS100::tStatus status;
            handles.proxy->open(path.c_str(), status);
            qverr::throwIfTStatusError(status);
            handles.fpga = std::make_shared<qvzek::user::Fpga>(
                handles.proxy, std::make_shared<qvzek::FifoFactory>(
                                   std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo>(handles.proxy)));
        }
        return handles;
    }
    void onDevicesChanged() override {}
    qvzek::DeviceInfoList enumerateDevices() override { return {}; }

    std::string known;
    qvzek::DeviceHandles<Proxy> handles;
};

class SessionFactoryTest : public ::testing::Test {
protected:
    qvsim::DeviceTree tree;
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder, "qv3377k_fpga0", qvtest::kDevicePages};
    OneDeviceManager manager;
    qverr::Status absent;
    qvqpxi::QPxiLibrary pxi{absent, "libqvqpxi-absent.so.1"};
    atomiczekhal::SessionFactoryQrx factory{manager, pxi};
    std::shared_ptr<const qvzek::DeviceInfo> info;

    void SetUp() override {
        const std::string drv = "qv3377k";
        tree.addInterface(drv, "qv3377k_atomiczekddkqrx", "0", device.path());
        const std::map<std::string, uint32_t> bus = {
            {"pciVendorID", 0x7C1E}, {"pciDeviceID", 0xC4C4}, {"pciSubsystemID", 0x7822}, {"pciBusNumber", 4},
            {"pciDeviceNumber", 0},  {"pciFunctionNumber", 0}, {"busType", 0x20706369}};
        for (const auto& [name, value] : bus) tree.setBusProperty(drv, name, u32(value));
        deviceProperty("serialNumber", "01AB23CD");
        deviceProperty("zekProductName", "QV PXIe-3377");
        deviceProperty("zekFpgaTargetClass", "QV-3377");
        deviceProperty("zekHardwareRevision", "B");
        device.setControlAddress(qvtest::kControlAddress);
        device.setIrqStatusAddress(qvtest::kIrqStatusAddress);
        device.setAttribute(84, 0);
        manager.known = device.path();
        info = deviceAt(device.path());
    }

    void deviceProperty(const std::string& name, const std::string& text) {
        tree.setDeviceProperty("qv3377k", name, text + '\0');
    }

    // The sample image without host-memory blocks, reset supported.
    static std::string sampleText() {
        std::string text = qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
        text = qvtest::replacedOnce(text, "<ResetNotSupported/>", "");
        const size_t from = text.find("<HMB>");
        text.erase(from, text.find("</LLB>") + 6 - from);
        return text;
    }
    std::unique_ptr<qvzek::user::Session> open(const std::string& text) {
        return factory.createSession(info, text.c_str(), qvtest::kSampleSignature, qvzek::user::kOpenDoNotRun);
    }
    size_t requests(const std::string& method) const {
        size_t n = 0;
        for (auto& request : decoder.requests()) n += request.name() == method ? 1 : 0;
        return n;
    }
};

uint32_t u32Attribute(qvzek::FpgaSessionTraditional& session, uint32_t id, int64_t& code) {
    nQVAPALS100::tStatus status;
    const uint32_t value = session.getU32Attribute(id, status);
    code = status.getCode();
    return value;
}

std::string textAttribute(qvzek::FpgaSessionTraditional& session, uint32_t id, int64_t& code) {
    nQVAPALS100::tStatus status;
    char buffer[64] = {};
    session.getStringAttribute(id, buffer, sizeof buffer, nullptr, status);
    code = status.getCode();
    return buffer;
}

TEST_F(SessionFactoryTest, TraditionalSessionAsksEveryHandlerAndTheFlash) {
    auto session = factory.createTraditionalSession(info);
    int64_t code = 0;
    // Device properties, bus properties, the PXI place (unknown without the
    // chassis library), the fixed answers, the driver's own attribute
    // through the owner text, and the flash manager.
    EXPECT_EQ(textAttribute(*session, 0, code), "QV PXIe-3377");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(u32Attribute(*session, 3, code), 0x7C1Eu);
    EXPECT_EQ(u32Attribute(*session, 2, code), 0x7822u);
    EXPECT_EQ(u32Attribute(*session, 27, code), 0xFFFFFFFFu);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(u32Attribute(*session, 14, code), 389080847u);
    device.setAttribute(84, 2);
    EXPECT_EQ(textAttribute(*session, 1, code), qvzek::codeToOwnerText(2));
    EXPECT_EQ(u32Attribute(*session, 90, code), 7u);
    EXPECT_EQ(code, 0);
}

TEST_F(SessionFactoryTest, SessionDownloadsThePersonalityOnAMatchingDevice) {
    auto session = open(sampleText());
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(requests("atomiczekddk_attribute.configurePersonality"), 1u);
    EXPECT_EQ(session->fpga(), manager.handles.fpga);
    session.reset();
    // The device's class is not one the image was built for.
    deviceProperty("zekFpgaTargetClass", "QV-5646");
    manager.handles = {};
    EXPECT_EQ(qvtest::thrownStatus([&] { open(sampleText()); }).first, -61024);
}

TEST_F(SessionFactoryTest, FailuresLeaveOnlyTheManagersReferences) {
    manager.getDevice(device.path());
    const long proxyHolders = manager.handles.proxy.use_count();
    const size_t descriptors = qvsim::processDescriptors();
    // A bitfile that is not one.
    EXPECT_LT(qvtest::thrownStatus([&] { open("<Bitfile>"); }).first, 0);
    EXPECT_EQ(manager.handles.proxy.use_count(), proxyHolders);
    EXPECT_EQ(manager.handles.fpga.use_count(), 1);
    // The driver no longer lists the device's interface.
    const std::string listed = tree.root() + "/proc/driver/qv/qv3377k/deviceInterfaces";
    std::filesystem::remove_all(listed);
    EXPECT_EQ(qvtest::thrownStatus([&] { open(sampleText()); }).first, -63036);
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(info); }).first, -63036);
    EXPECT_EQ(manager.handles.proxy.use_count(), proxyHolders);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
    // A path the manager does not know, and no device at all.
    auto unknown = deviceAt("/dev/qv/none");
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(unknown); }).first, -52006);
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(nullptr); }).first, -52005);
}

}  // namespace

namespace {

// Over the plug-in's own device manager and the simulated module.
TEST(SessionFactoryOverTheManager, SharedDeviceObjectsAndVanishedModule) {
    qvsim::SimulatedModule module;
    qverr::Status absent;
    qvqpxi::QPxiLibrary pxi{absent, "libqvqpxi-absent.so.1"};
    qvzek::DeviceManagerPxiTemplate<Proxy> manager(qvsim::SimulatedModule::kFpgaInterfaceName,
                                                   atomiczekhal::PciModelNameIdentifierCodegen::instance(), pxi);
    manager.onDevicesChanged();
    int64_t change = 0;
    const qvzek::DeviceInfoList devices = manager.getDevices(change);
    ASSERT_EQ(devices.size(), 1u);
    atomiczekhal::SessionFactoryQrx factory(manager, pxi);

    std::string text = qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
    text.erase(text.find("<HMB>"), text.find("</LLB>") + 6 - text.find("<HMB>"));
    auto first = factory.createSession(devices[0], text.c_str(), qvtest::kSampleSignature, qvzek::user::kOpenDoNotRun);
    auto second = factory.createSession(devices[0], text.c_str(), qvtest::kSampleSignature, qvzek::user::kOpenDoNotRun);
    EXPECT_EQ(first->fpga(), second->fpga());
    EXPECT_EQ(first->fpga(), manager.getDevice(module.fpgaPath()).fpga);
    EXPECT_EQ(module.driver().openDescriptors(), 1u);

    // Taken away, not yet rescanned: the manager still knows the path, the
    // driver no longer lists it.
    module.unplugFpga();
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(devices[0]); }).first, -63036);
    manager.onDevicesChanged();
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(devices[0]); }).first, -52006);
    first.reset();
    second.reset();
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

}  // namespace
