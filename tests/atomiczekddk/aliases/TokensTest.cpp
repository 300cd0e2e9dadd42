#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "atomiczekddk/aliases/PersistentTokens.h"
#include "kerneldriver/DeviceTree.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/QpxiStandIn.h"
#include "support/TempDir.h"

namespace {

using qvjsonconfig::internal::APALDeviceIteratorWithBusToken;
using qvjsonconfig::internal::APALPersistentTokenPCI;
using PciIterator = APALDeviceIteratorWithBusToken<APALPersistentTokenPCI>;

const std::vector<std::string> kNames = {"qv3377k_atomiczekddkqrx", "qv3377k_qv3377k"};

std::string u32Bytes(uint32_t value, size_t width = 4) {
    std::string bytes(width, '\0');
    memcpy(bytes.data(), &value, width);
    return bytes;
}

template <typename Body>
int32_t codeOf(Body&& body) {
    return qvtest::thrownStatus(body).first;
}

class ModelNames : public qvzek::IPciModelNameIdentifier {
public:
    std::string getModelName(uint32_t vendor, uint32_t device, uint32_t subsystem) override {
        asked = {vendor, device, subsystem};
        return "QV-3377";
    }
    std::vector<uint32_t> asked;
};

class TokenTest : public ::testing::Test {
protected:
    void addBoard(const std::string& driver, const char* slotPath) {
        tree.addInterface(driver, kNames[0], "0", "/dev/qv/" + driver);
        tree.setBusProperty(driver, "pciVendorID", u32Bytes(0x1234));
        tree.setBusProperty(driver, "pciDeviceID", u32Bytes(0xABCD));
        tree.setBusProperty(driver, "pciSubsystemVendorID", u32Bytes(0x1234));
        tree.setBusProperty(driver, "pciSubsystemID", u32Bytes(0x5678));
        tree.setBusProperty(driver, "pciRevision", u32Bytes(1));
        tree.setBusProperty(driver, "pciBusNumber", u32Bytes(4));
        tree.setBusProperty(driver, "pciDeviceNumber", u32Bytes(0));
        tree.setBusProperty(driver, "pciFunctionNumber", u32Bytes(0));
        if (slotPath != nullptr) {
            tree.setBusProperty(driver, "pciSlotPath", std::string(slotPath) + '\0');
        }
    }

    qvsim::DeviceTree tree;
    ModelNames models;
};

TEST_F(TokenTest, PciTokenOfTheBoard) {
    addBoard("qv3377k", "0000:04:00.0");
    PciIterator it(kNames);
    ASSERT_FALSE(it.isEnd());
    EXPECT_EQ(it.getPersistentToken(), "PCI:VEN_1234&DEV_ABCD&SUBSYS_12345678&REV_01/0000:04:00.0");
    EXPECT_EQ(it.getDriverName(), "qv3377k");
    EXPECT_EQ(it.getInterfacePath(), "/dev/qv/qv3377k");
    EXPECT_TRUE(it.next().isEnd());
}

TEST_F(TokenTest, WideValuesKeepAllTheirDigits) {
    addBoard("qv3377k", "s");
    tree.setBusProperty("qv3377k", "pciVendorID", u32Bytes(0x12345));
    EXPECT_EQ(PciIterator(kNames).getPersistentToken(),
              "PCI:VEN_12345&DEV_ABCD&SUBSYS_12345678&REV_01/s");
}

TEST_F(TokenTest, MissingOrEmptySlotPath) {
    addBoard("qv3377k", nullptr);
    EXPECT_EQ(codeOf([] { PciIterator(kNames).getPersistentToken(); }),
              qverr::qvapalerr_resourceNotFound);
    // An empty file: no terminator to drop, and nothing is cut from the rest.
    tree.setBusProperty("qv3377k", "pciSlotPath", "");
    EXPECT_EQ(PciIterator(kNames).getPersistentToken(),
              "PCI:VEN_1234&DEV_ABCD&SUBSYS_12345678&REV_01/");
}

TEST_F(TokenTest, PropertyEncodings) {
    addBoard("qv3377k", "path");
    tree.setDeviceProperty("qv3377k", "serialNumber", std::string("1A2B") + '\0');
    tree.setDeviceProperty("qv3377k", "empty", "");
    tree.setBusProperty("qv3377k", "short", u32Bytes(0xBEEF, 2));
    tree.setBusProperty("qv3377k", "long", "12345");
    PciIterator it(kNames);
    std::string text = "old";
    it.getDeviceStringProperty("serialNumber", text);
    EXPECT_EQ(text, "1A2B");
    it.getDeviceStringProperty("empty", text);
    EXPECT_EQ(text, "");
    uint32_t value = 0x11110000;
    it.getBusU32Property("short", value);
    EXPECT_EQ(value, 0x1111BEEFu);
    EXPECT_EQ(codeOf([&] { it.getBusU32Property("long", value); }),
              qverr::qvapalerr_bufferTooSmall);
    EXPECT_EQ(codeOf([&] { it.getBusStringProperty("absent", text); }),
              qverr::qvapalerr_resourceNotFound);
}

TEST_F(TokenTest, NoMatchingInterface) {
    PciIterator it(kNames);
    EXPECT_TRUE(it.isEnd());
    std::string text;
    EXPECT_EQ(codeOf([&] { it.getPersistentToken(); }), qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(codeOf([&] { it.getBusStringProperty("pciSlotPath", text); }),
              qverr::qvapalerr_resourceNotFound);
}

TEST_F(TokenTest, PciGeneratorForm) {
    addBoard("qv3377k", "0000:04:00.0");
    qvzek::PersistentTokenGeneratorPci generator(models);
    qvzek::DeviceIteratorFactoryCustomPersistentToken factory(qvzek::kDriverInterfaceNames,
                                                              generator);
    std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> it(factory.createIterator());
    EXPECT_EQ(it->getPersistentToken(), "Model=QV-3377;PCISlotPath=0000:04:00.0");
    EXPECT_EQ(models.asked, (std::vector<uint32_t>{0x1234, 0xABCD, 0x5678}));
}

class PxiTokenTest : public TokenTest {
protected:
    qvtest::QpxiStandIn standIn;
    qverr::Status status;
    qvqpxi::QPxiLibrary library{status};
    qvzek::PersistentTokenGeneratorPxi generator{models, library};
};

TEST_F(PxiTokenTest, ChassisFormFromTheLibrary) {
    ASSERT_TRUE(library.isLoaded);
    addBoard("qv3377k", "0000:04:00.0");
    standIn.addDevice(1, 3, 0, 4, 0, 0);
    qvzek::DeviceIteratorCustomPersistentToken it(qvzek::kDriverInterfaceNames, generator);
    EXPECT_EQ(it.getPersistentToken(), "Model=QV-3377;Chassis=1;Slot=3");
    EXPECT_EQ(standIn.openHandles(), 0u);
}

TEST_F(PxiTokenTest, PciFormWhenTheLibraryCannotPlaceTheModule) {
    addBoard("qv3377k", "0000:04:00.0");
    qvzek::DeviceIteratorCustomPersistentToken it(qvzek::kDriverInterfaceNames, generator);
    // Not known to the library at all.
    EXPECT_EQ(it.getPersistentToken(), "Model=QV-3377;PCISlotPath=0000:04:00.0");
    // Known, but in no known slot.
    standIn.addDevice(1, 0xFFFFFFFF, 0, 4, 0, 0);
    EXPECT_EQ(it.getPersistentToken(), "Model=QV-3377;PCISlotPath=0000:04:00.0");
}

TEST_F(PxiTokenTest, PciFormFailureReachesTheCaller) {
    addBoard("qv3377k", nullptr);
    qvzek::DeviceIteratorCustomPersistentToken it(qvzek::kDriverInterfaceNames, generator);
    EXPECT_EQ(codeOf([&] { it.getPersistentToken(); }), qverr::qvapalerr_resourceNotFound);
}

TEST_F(PxiTokenTest, PciFormWithoutTheLibrary) {
    addBoard("qv3377k", "0000:04:00.0");
    standIn.addDevice(1, 3, 0, 4, 0, 0);
    qverr::Status absentStatus;
    qvqpxi::QPxiLibrary absent(absentStatus, "libqvqpxi-absent.so.1");
    ASSERT_FALSE(absent.isLoaded);
    qvzek::PersistentTokenGeneratorPxi fallback(models, absent);
    qvzek::DeviceIteratorCustomPersistentToken it(qvzek::kDriverInterfaceNames, fallback);
    EXPECT_EQ(it.getPersistentToken(), "Model=QV-3377;PCISlotPath=0000:04:00.0");
}

}  // namespace
