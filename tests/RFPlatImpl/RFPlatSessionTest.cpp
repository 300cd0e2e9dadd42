// The module platform session over the simulated module's platform block.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "RFPlatImpl/RFPlatImpl.h"
#include "RFPlatImpl/RFPlatSession.h"
#include "module/RFPlatBlock.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;
using rfplat::RFPlatSession;

std::vector<uint8_t> keyImage(uint64_t id, uint8_t kind, uint8_t hasFlash, uint64_t parentId,
                              uint8_t parentKind) {
    std::vector<uint8_t> image(32, 0);
    std::memcpy(&image[0], &id, 8);
    image[8] = kind;
    image[9] = hasFlash;
    std::memcpy(&image[16], &parentId, 8);
    image[24] = parentKind;
    return image;
}

class PlatformSession : public ::testing::Test {
protected:
    std::unique_ptr<RFPlatSession> open() {
        return std::unique_ptr<RFPlatSession>(
            RFPlatSession_createInstance(module.devicePath().c_str(), nullptr));
    }
    int32_t codeOf(std::function<void()> body) { return thrownStatus(body).first; }
    size_t requestsOf(const std::string& method) {
        size_t count = 0;
        for (const auto& request : module.decoder().requests()) count += request.name() == method;
        return count;
    }

    qvsim::SimulatedModule module;
    qvsim::RFPlatBlock& block = module.rfplat();
};

TEST(RFPlatConversions, RevisionNumbersBecomeLettersInTheirRange) {
    const std::pair<int32_t, const char*> expected[] = {{-1, ""},   {0, "0"},   {9, "9"},
                                                        {10, "A"},  {35, "Z"},  {36, "AA"},
                                                        {61, "AZ"}, {62, "BA"}, {711, "ZZ"}};
    for (const auto& [number, text] : expected)
        EXPECT_EQ(rfplat::moduleRevisionConversion(number), text) << number;
    for (int32_t bad : {-2, 712})
        EXPECT_EQ(thrownStatus([&] { rfplat::moduleRevisionConversion(bad); }).first,
                  qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

TEST(RFPlatConversions, FirmwareWordsBecomeRevisionTexts) {
    // major << 24 | minor << 20 | fix << 16 | stage << 14 | build
    const std::pair<uint32_t, const char*> expected[] = {
        {0, ""},
        {(23u << 24) | (3u << 20) | (3u << 14) | 451u, "23.3.0f451"},
        {(1u << 24) | 7u, "1.0.0d7"},
        {(1u << 24) | (15u << 20) | (15u << 16) | (1u << 14), "1.15.15a0"},
        {(255u << 24) | (2u << 14) | 0x3FFFu, "255.0.0b16383"}};
    for (const auto& [word, text] : expected)
        EXPECT_EQ(rfplat::firmwareRevisionToString(word), text) << word;
}

TEST(RFPlatConversions, ModuleAndSensorNamesFromTheirTables) {
    const std::pair<const char*, uint32_t> modules[] = {
        {"module", 0},      {"", 0},
        {"basecard", 1},    {"daughtercard", 2},
        {"rf0", 3},         {"rmm0", 3},
        {"rf1", 4},         {"rmm1", 4},
        {"rf0switch0", 5},  {"rf0switch1", 6},
        {"rf1switch0", 7},  {"rf1switch1", 8},
        {"dotRevision", 9}, {"auxSwitch_daughtercard", 10}};
    for (const auto& [name, index] : modules)
        EXPECT_EQ(rfplat::moduleIndexFromName(name), index) << name;
    EXPECT_EQ(rfplat::moduleIndexFromName(nullptr), 0u);
    EXPECT_EQ(thrownStatus([] { rfplat::moduleIndexFromName("Module"); }).first,
              qverr::qvapalerr_invalidParameter);

    const std::pair<const char*, int32_t> sensors[] = {{"rfIn", 1},
                                                       {"rxLo", 1},
                                                       {"txLo", 2},
                                                       {"fpga", 4},
                                                       {"S7XADC", 3},
                                                       {"lo1_1", 17},
                                                       {"rf0switch0", 20},
                                                       {"rf1switch1", 23},
                                                       {"dds0", 24},
                                                       {"dds0LO2", 24},
                                                       {"dds1LO1", 25},
                                                       {"mem", 26},
                                                       {"conv2", 73},
                                                       {"conv3", 74},
                                                       {"convFpga0", 39},
                                                       {"rmm0Lo", 48},
                                                       {"rmm1L2Ext1", 71},
                                                       {"vCal", 72},
                                                       {"auxSwitchRxInt1", 78},
                                                       {"rmm0PnC", 79},
                                                       {"rmm0RfSenB", 81},
                                                       {"rf0G10Fem0SenAInt", 82},
                                                       {"rmm0G10Fem1Rflc1", 95}};
    for (const auto& [name, number] : sensors)
        EXPECT_EQ(rfplat::temperatureSensorNumber(name), number) << name;
    EXPECT_EQ(thrownStatus([&] { rfplat::temperatureSensorNumber("RFIN"); }).first,
              qverr::qvapalerr_invalidParameter);
}

TEST_F(PlatformSession, IdentityRevisionsAndUnits) {
    auto session = open();
    block.serialNumber = 0xABCDEF;
    EXPECT_EQ(session->getSerialNumber2(nullptr, ""), "ABCDEF");
    EXPECT_EQ(codeOf([&] { session->getSerialNumber2("module", ""); }),
              qverr::qvapalerr_invalidParameter);

    block.moduleRevisions[0] = 2;
    block.moduleRevisions[9] = 99;
    EXPECT_EQ(session->getModuleRev("module"), "2");
    block.moduleRevisions[9] = 100;
    EXPECT_EQ(session->getModuleRev(""), "2.100");
    block.moduleRevisions[3] = 12;
    module.decoder().clear();
    EXPECT_EQ(session->getModuleRev("rmm0"), "C");
    EXPECT_EQ(requestsOf("rfplat.getModuleRev"), 1u);
    // A failed dot revision request leaves the plain text.
    block.moduleRevisions.erase(9);
    EXPECT_EQ(session->getModuleRev("module"), "2");
    block.moduleRevisions[0] = 712;
    EXPECT_EQ(codeOf([&] { session->getModuleRev("module"); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);

    block.partNumbers[{3, 0}] = 12;
    block.partNumbers[{3, 1}] = 1;
    EXPECT_EQ(session->getModuleAssemblyNumber("rf0"), "12C-01L");
    // Out-of-range selectors are refused before any request.
    module.decoder().clear();
    EXPECT_EQ(codeOf([&] { session->getModulePartNumber("rf0", 2); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(module.decoder().requests().empty());
    block.driverAttributes[{0, 1}] = (23u << 24) | (3u << 20) | (3u << 14) | 451u;
    EXPECT_EQ(session->getDriverAttribute(nullptr, 1), "23.3.0f451");

    block.temperatures[24] = {91, 2};
    EXPECT_DOUBLE_EQ(session->getTemperature("dds0LO2", 7), 45.5);
    EXPECT_EQ(module.decoder().last("rfplat.getTemperature")->value("selector"), 7);
    block.powerMilliwatts = -1500;
    EXPECT_DOUBLE_EQ(session->getModulePowerConsumption(), -1.5);
    EXPECT_EQ(session->getOldestCompatibleFirmwareRev(nullptr, ""), "23.1.0d0");
}

TEST_F(PlatformSession, FailedRequestsAreThrownWithTheDriversCode) {
    auto session = open();
    block.selfTestResult = -1074097800;
    EXPECT_EQ(codeOf([&] { session->selfTest(); }), -1074097800);
    block.selfTestResult = 0;
    session->selfTest("");
    // A warning reply does not raise.
    block.errors["resetDevice"] = 1;
    EXPECT_NO_THROW(session->resetDevice());
}

TEST_F(PlatformSession, FirmwareUpdateReservationIsTracked) {
    auto session = open();
    session->reserveDeviceForFirmwareUpdate();
    EXPECT_EQ(codeOf([&] { session->reserveDeviceForFirmwareUpdate(); }),
              qvmxl::kErrorResourceAlreadyReserved);
    session->unreserveDeviceAfterFirmwareUpdate();
    EXPECT_EQ(codeOf([&] { session->unreserveDeviceAfterFirmwareUpdate(); }),
              qvmxl::kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning);
    // A refused request leaves the flag as it was.
    block.errors["reserveDeviceForFirmwareUpdate"] = -52031;
    EXPECT_EQ(codeOf([&] { session->reserveDeviceForFirmwareUpdate(); }),
              qverr::qvapalerr_resourceBusy);
    EXPECT_EQ(codeOf([&] { session->unreserveDeviceAfterFirmwareUpdate(); }),
              qvmxl::kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning);
}

TEST_F(PlatformSession, TheModuleAloneIsTheOneFlashDevice) {
    auto session = open();
    EXPECT_EQ(session->findDeviceKey(nullptr).hasFlash, 1);
    EXPECT_EQ(codeOf([&] { session->findDeviceKey("rmm0"); }), qverr::qvapalerr_invalidParameter);
}

TEST_F(PlatformSession, EnumerationFaultsFailTheMapAndAreRetried) {
    auto session = open();
    block.connectedDevices = {keyImage(1, 1, 0, 1, 1), keyImage(2, 1, 0, 7, 7)};
    EXPECT_EQ(codeOf([&] { session->getFlashDevices(); }), qverr::qvapalerr_resourceNotFound);
    module.on("rfplat.enumerateConnectedDevices",
              [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                  reply.set("return", request.value("size") == 0 ? 2u : 1u);
                  return 0;
              });
    EXPECT_EQ(codeOf([&] { session->getFlashDevices(); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    // A count whose array would not fit the request's size field is refused
    // before anything is allocated.
    module.on("rfplat.enumerateConnectedDevices",
              [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
                  reply.set("return", 0x08000000u);
                  return 0;
              });
    EXPECT_EQ(codeOf([&] { session->getFlashDevices(); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    // Devices other than the module itself have no names here.
    block.install(module);
    block.connectedDevices = {keyImage(1, 1, 1, 1, 1)};
    EXPECT_EQ(codeOf([&] { session->getFlashDevices(); }), qverr::qvapalerr_invalidParameter);
    block.connectedDevices.clear();
    EXPECT_EQ(session->getFlashDevices().size(), 1u);
}

// Round trips go through the exports; here what refused requests leave.
TEST_F(PlatformSession, RefusedPartitionRequestsLeaveTheCallersValues) {
    auto session = open();
    uint32_t word = 1;  // the sequence of a partition never written
    session->writePartition2(5, "abc", 3, 0x101, "", &word);
    EXPECT_EQ(module.decoder().last("rfplat.writePartition")->value("flag"), 1);
    uint32_t stale = 1;
    EXPECT_EQ(codeOf([&] { session->writePartition2(5, "abc", 3, 1, "", &stale); }),
              qvmxl::kErrorStorageAlteredPriorToSave);
    EXPECT_EQ(stale, 1u);
    module.on("rfplat.readPartition", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.set("size", 999u);
        reply.set("word", 999u);
        reply.status(-52008);
        return 0;
    });
    char back[8];
    uint32_t size = 4;
    stale = 7;
    EXPECT_EQ(codeOf([&] { session->readPartition2(5, back, &size, "", &stale); }),
              qverr::qvapalerr_osFault);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(stale, 7u);

    // A list whose byte size overflows is refused before any request.
    module.decoder().clear();
    uint32_t ids[8] = {};
    uint32_t count = 0x40000000;
    EXPECT_EQ(codeOf([&] { session->getPartitionList(nullptr, &count, ""); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(requestsOf("rfplat.getPartitionList"), 0u);
    block.errors["getPartitionList"] = -52008;
    count = 8;
    EXPECT_EQ(codeOf([&] { session->getPartitionList(ids, &count, ""); }),
              qverr::qvapalerr_osFault);
    EXPECT_EQ(count, 0u);

    uint8_t table[4] = {};
    session->readPartitionTable2(table, sizeof table, 256, "");
    EXPECT_EQ(module.decoder().last("rfplat.readPartitionTable")->value("flag"), 0);
    EXPECT_EQ(table[0], 0x5A);
}

TEST_F(PlatformSession, CreationFindsTheDevicePath) {
    const std::string json = "{\"deviceInterfacePath\":\"" + module.devicePath() + "\"}";
    std::unique_ptr<RFPlatSession> session(RFPlatSession_createInstance(json.c_str(), ""));
    EXPECT_EQ(session->getDriverInterfaceVersion(),
              qvsim::SimulatedModule::kDriverInterfaceVersion);
    EXPECT_EQ(codeOf([&] { RFPlatSession_createInstance("{\"deviceInterfacePath\":3}", nullptr); }),
              qverr::qvapalerr_invalidParameter);
    const size_t open = module.driver().openDescriptors();
    EXPECT_EQ(codeOf([&] { RFPlatSession_createInstance(module.devicePath().c_str(), "x"); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(module.driver().openDescriptors(), open);
    // A device file that is not there fails the creation.
    EXPECT_LT(
        codeOf([&] { RFPlatSession_createInstance((module.devicePath() + "x").c_str(), nullptr); }),
        0);
}

// The list exports copy through this.
TEST(RFPlatStringLists, CopiesIntoTheCallersBuffersUpToTheFirstThatDoesNotFit) {
    const std::vector<std::string> list = {"ab", "cdef"};
    uint32_t count = 0;
    rfplat::copyStringListToBuffers(list, nullptr, &count, 0);
    EXPECT_EQ(count, 2u);
    char first[5] = {}, second[5] = {};
    char* buffers[] = {first, second};
    rfplat::copyStringListToBuffers(list, buffers, &count, 5);
    EXPECT_STREQ(second, "cdef");
    count = 1;
    EXPECT_EQ(
        thrownStatus([&] { rfplat::copyStringListToBuffers(list, buffers, &count, 5); }).first,
        qverr::qvapalerr_invalidParameter);
    count = 2;
    char small1[4] = {}, small2[4] = {};
    char* smalls[] = {small1, small2};
    EXPECT_EQ(thrownStatus([&] { rfplat::copyStringListToBuffers(list, smalls, &count, 4); }).first,
              qverr::qvapalerr_bufferTooSmall);
    EXPECT_STREQ(small1, "ab");
    EXPECT_STREQ(small2, "");
}

TEST_F(PlatformSession, RefusalsNameTheRaisingClassAndWhatWasWrong) {
    auto session = open();
    const std::vector<std::string> list = {"abcd"};
    uint32_t count = 2;
    char buffer[2] = {};
    char* buffers[] = {buffer, buffer};
    const struct {
        std::function<void()> call;
        const char* key;
        const char* text;
    } cases[] = {
        {[&] { session->getModuleRev("rf9"); }, "RFPlatSession", "unknown module name"},
        {[&] { session->getTemperature("RFIN", 0); }, "RFPlatSession", "unknown sensor name"},
        {[&] { session->getModulePartNumber("module", 2); }, "RFPlatSession",
         "which is neither 0 nor 1"},
        {[&] { session->getDriverAttribute("module", 2); }, "RFPlatSession",
         "which is neither 0 nor 1"},
        {[&] { session->getSerialNumber2("module", ""); }, "RFPlatSession",
         "module name given for the serial number"},
        {[&] { session->getFirmwareIndex("other"); }, "RFPlatSession", "unknown firmware name"},
        {[&] { session->selfTest("nothere"); }, "RFPlatSession", "unknown device name"},
        {[&] { session->unreserveDeviceAfterFirmwareUpdate(); }, "RFPlatSession",
         "not reserved for a firmware update"},
        {[&] { rfplat::moduleRevisionConversion(712); }, "moduleRevisionConversion",
         "revision number outside -1 to 711"},
        {[&] { RFPlatSession_createInstance(module.devicePath().c_str(), "x"); },
         "RFPlatSession_createInstance", "reserved text is not empty"},
        {[&] { RFPlatSession_createInstance("{}", nullptr); }, "ErrorHandling",
         "no device path in the session parameters"},
        {[&] { rfplat::copyStringListToBuffers(list, buffers, &count, 2); }, "RFPlatImpl",
         "buffer count differs from the number of strings"},
        {[&] {
             count = 1;
             rfplat::copyStringListToBuffers(list, buffers, &count, 2);
         },
         "RFPlatImpl", "string too long for the caller's buffer"},
    };
    for (const auto& c : cases) {
        const std::string json = thrownStatus(c.call).second;
        EXPECT_NE(json.find(qvtest::detailPair(c.key, c.text)), std::string::npos) << json;
    }
    session->reserveDeviceForFirmwareUpdate();
    EXPECT_NE(thrownStatus([&] { session->reserveDeviceForFirmwareUpdate(); })
                  .second.find(qvtest::detailPair("RFPlatSession",
                                                  "already reserved for a firmware update")),
              std::string::npos);
}

}  // namespace
