// The session factory over the plug-in's device manager and the simulated
// module: the handlers both session kinds get, the target-class check, one
// proxy and FPGA object per module, a module taken away, a failed build.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "AtomicZEKHALImpl/SessionFactoryQrx.h"
#include "atomiczekddk/bitfile/OwnerCodes.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/devicemanager/DeviceManager.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/session/SessionFixture.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/TempDir.h"

namespace {

using Proxy = sdihal::tInterfaceProxy_atomiczekddkqrx;

class SessionFactoryTest : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qverr::Status absent;
    // No chassis library: the PXI place reads as unknown.
    qvqpxi::QPxiLibrary pxi{absent, "libqvqpxi-absent.so.1"};
    qvzek::DeviceManagerPxiTemplate<Proxy> manager{
        qvsim::SimulatedModule::kFpgaInterfaceName,
        atomiczekhal::PciModelNameIdentifierCodegen::instance(), pxi};
    atomiczekhal::SessionFactoryQrx factory{manager, pxi};
    std::shared_ptr<const qvzek::DeviceInfo> info;

    void SetUp() override {
        manager.onDevicesChanged();
        int64_t change = 0;
        const qvzek::DeviceInfoList devices = manager.getDevices(change);
        ASSERT_EQ(devices.size(), 1u);
        info = devices[0];
    }

    // The sample image without host-memory blocks.
    std::unique_ptr<qvzek::user::Session> open() {
        std::string text = qvtest::readTextFile(std::string(QV_BITFILE_CORPUS) + "/sample.xml");
        text.erase(text.find("<HMB>"), text.find("</LLB>") + 6 - text.find("<HMB>"));
        return factory.createSession(info, text.c_str(), qvtest::kSampleSignature,
                                     qvzek::user::kOpenDoNotRun);
    }
};

template <class Get>
auto attribute(Get&& get) {
    nQVAPALS100::tStatus status;
    auto value = get(status);
    EXPECT_EQ(status.getCode(), 0);
    return value;
}

TEST_F(SessionFactoryTest, TraditionalSessionAsksEveryHandlerAndTheFlash) {
    auto session = factory.createTraditionalSession(info);
    auto u32 = [&](uint32_t id) {
        return attribute([&](nQVAPALS100::tStatus& s) { return session->getU32Attribute(id, s); });
    };
    auto text = [&](uint32_t id) {
        return attribute([&](nQVAPALS100::tStatus& s) {
            char buffer[64] = {};
            session->getStringAttribute(id, buffer, sizeof buffer, nullptr, s);
            return std::string(buffer);
        });
    };
    // Device properties, bus properties, the PXI place, the fixed answers,
    // the driver's own attribute behind the owner text, the flash manager.
    EXPECT_EQ(text(0), qvsim::SimulatedModule::kProductName);
    EXPECT_EQ(u32(3), 0x7C1Eu);
    EXPECT_EQ(u32(2), 0x7822u);
    EXPECT_EQ(u32(27), 0xFFFFFFFFu);
    EXPECT_EQ(u32(14), 389080847u);
    module.fpga().setAttribute(84, 2);
    EXPECT_EQ(text(1), qvzek::codeToOwnerText(2));
    EXPECT_EQ(u32(90), 7u);
}

TEST_F(SessionFactoryTest, SessionsShareTheModulesObjectsAndCheckItsTargetClass) {
    auto first = open();
    auto second = open();
    EXPECT_EQ(first->fpga(), second->fpga());
    EXPECT_EQ(first->fpga(), manager.getDevice(info->interfacePath).fpga);
    EXPECT_EQ(module.driver().openDescriptors(), 1u);
    first.reset();
    second.reset();
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    // A module of a class the image was not built for.
    module.tree().setDeviceProperty(qvsim::SimulatedModule::kDriverName, "zekFpgaTargetClass",
                                    std::string("QV-5646") + '\0');
    EXPECT_EQ(qvtest::thrownStatus([&] { open(); }).first, qvzek::kErrorTargetClass);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
}

TEST_F(SessionFactoryTest, FailuresLeaveNothingOpen) {
    const size_t descriptors = qvsim::processDescriptors();
    EXPECT_LT(qvtest::thrownStatus([&] {
                  factory.createSession(info, "<Bitfile>", qvtest::kSampleSignature, 0);
              }).first,
              0);
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createSession(info, nullptr, "", 0); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(nullptr); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);

    // Taken away, not yet rescanned: the manager still knows the path, the
    // driver no longer lists it. Rescanned: the path is unknown.
    module.unplugFpga();
    EXPECT_EQ(qvtest::thrownStatus([&] { open(); }).first, qvzek::kErrorDeviceUnreachable);
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(info); }).first,
              qvzek::kErrorDeviceUnreachable);
    manager.onDevicesChanged();
    EXPECT_EQ(qvtest::thrownStatus([&] { factory.createTraditionalSession(info); }).first,
              qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(module.driver().openDescriptors(), 0u);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

}  // namespace
