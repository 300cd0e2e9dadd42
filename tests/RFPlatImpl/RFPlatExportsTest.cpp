// The rfplat_ exports as a C driver calls them: the shipped library on the
// simulated module.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RFPlatImpl/RFPlatInterface.h"
#include "module/RFPlatBlock.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"
#include "support/HostLibrary.h"

namespace {

using Handle = uint64_t;
using OpenFn = int32_t (*)(const char*, const char*, Handle*);
using TextFn = int32_t (*)(Handle, const char*, char*, uint32_t*);

class RFPlatExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        const std::string json = "{\"deviceInterfacePath\": \"" + module.devicePath() + "\"}";
        ASSERT_EQ(fn<OpenFn>("rfplat_open")(json.c_str(), "", &handle), 0);
        ASSERT_NE(handle, 0u);
    }
    void TearDown() override { fn<void (*)(Handle)>("rfplat_close")(handle); }
    template <class F>
    F fn(const char* name) {
        return library.fn<F>(name);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    Handle handle = 0;
};

TEST_F(RFPlatExports, OpenRefusesAnOccupiedSlotAndBadParameters) {
    auto open = fn<OpenFn>("rfplat_open");
    Handle occupied = 7;
    EXPECT_EQ(open(module.devicePath().c_str(), nullptr, &occupied),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(occupied, 7u);
    Handle slot = 0;
    EXPECT_EQ(open("not json", nullptr, &slot), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(slot, 0u);
    fn<void (*)(Handle)>("rfplat_close")(0);
}

TEST_F(RFPlatExports, TextsReportTheirSizeBeforeRefusingASmallBuffer) {
    auto getModuleRev = fn<TextFn>("rfplat_getModuleRev");
    module.rfplat().moduleRevisions[0] = 2;
    module.rfplat().moduleRevisions[9] = 101;
    uint32_t size = 0;
    EXPECT_EQ(getModuleRev(handle, "module", nullptr, &size), 0);
    EXPECT_EQ(size, 6u);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    size = 5;
    EXPECT_EQ(getModuleRev(handle, "module", buffer, &size), qverr::qvapalerr_bufferTooSmall);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(getModuleRev(handle, "module", buffer, &size), 0);
    EXPECT_STREQ(buffer, "2.101");
    EXPECT_EQ(buffer[6], '#');
    EXPECT_EQ(getModuleRev(0, "module", buffer, &size), qverr::qvapalerr_invalidParameter);

    // The serial number's size is an input only.
    auto serial2 = fn<int32_t (*)(Handle, const char*, char*, int32_t, const char*)>(
        "rfplat_getSerialNumber2");
    auto serial = fn<int32_t (*)(Handle, const char*, char*, uint32_t)>("rfplat_getSerialNumber");
    module.rfplat().serialNumber = 0xABCDEF;
    char number[16] = {};
    EXPECT_EQ(serial2(handle, nullptr, number, 0, ""), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(serial2(handle, nullptr, number, 6, ""), qverr::qvapalerr_bufferTooSmall);
    EXPECT_EQ(number[0], 0);
    EXPECT_EQ(serial2(handle, nullptr, number, 7, ""), 0);
    EXPECT_STREQ(number, "ABCDEF");
    EXPECT_EQ(serial(handle, nullptr, number, 0x80000000u), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(serial(handle, nullptr, number, sizeof number), 0);
}

TEST_F(RFPlatExports, ValuesAndTheStatusLastFunctions) {
    double value = 0;
    module.rfplat().temperatures[1] = {50, 2};
    EXPECT_EQ(fn<int32_t (*)(Handle, const char*, uint32_t, double*)>("rfplat_getTemperature")(
                  handle, "rfIn", 0, &value),
              0);
    EXPECT_DOUBLE_EQ(value, 25.0);
    EXPECT_EQ(fn<int32_t (*)(Handle)>("rfplat_resetDevice")(handle), 0);
    EXPECT_EQ(module.rfplat().resets, 1u);

    auto selfTest = fn<void (*)(Handle, const char*, qvhost_status*)>("rfplat_selfTest");
    auto devices = fn<void (*)(Handle, rfplat::ConnectedDeviceInfo*, uint32_t*, qvhost_status*)>(
        "rfplat_getConnectedDevices");
    qvhost_status status = qvhost_newStatus();
    module.rfplat().selfTestResult = -52008;
    selfTest(handle, "", &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_osFault);
    qvhost_release(&status);

    // A record array longer than the devices is refused untouched.
    status = qvhost_newStatus();
    rfplat::ConnectedDeviceInfo records[2];
    std::memset(records, 0x11, sizeof records);
    uint32_t count = 2;
    devices(handle, records, &count, &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(records[0].id, 0x1111111111111111u);
    qvhost_release(&status);
    status = qvhost_newStatus();
    count = 1;
    devices(handle, records, &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(records[0].hasFlash, 1);
    EXPECT_EQ(records[1].id, 0x1111111111111111u);
    qvhost_release(&status);
}

TEST_F(RFPlatExports, PartitionsThroughTheNewerAndOlderForms) {
    auto read2 = fn<int32_t (*)(Handle, uint32_t, void*, uint32_t*, const char*, uint32_t*)>(
        "rfplat_readPartition2");
    auto write = fn<int32_t (*)(Handle, uint32_t, int32_t, const void*, uint32_t, int32_t)>(
        "rfplat_writePartition");
    auto read = fn<int32_t (*)(Handle, uint32_t, int32_t, void*, uint32_t, int32_t)>(
        "rfplat_readPartition");
    auto size = fn<int32_t (*)(Handle, uint32_t, uint32_t*)>("rfplat_getPartitionSize");
    auto remove = fn<int32_t (*)(Handle, uint32_t, int32_t)>("rfplat_deletePartition");

    char buffer[16] = {};
    EXPECT_EQ(read(handle, 3, 0, buffer, sizeof buffer, 2), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(read(handle, 3, 0, buffer, sizeof buffer, 0x101),
              qvmxl::kErrorInvalidStorage);  // nothing stored yet
    EXPECT_EQ(write(handle, 3, 0, "payload", 8, 1), 0);
    uint32_t bytes = 99;
    EXPECT_EQ(size(handle, 3, &bytes), 0);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(read(handle, 3, 0, buffer, sizeof buffer, 1), 0);
    EXPECT_STREQ(buffer, "payload");
    uint32_t sequence = 0;
    bytes = sizeof buffer;
    EXPECT_EQ(read2(handle, 3, buffer, &bytes, "", &sequence), 0);
    EXPECT_EQ(sequence, 2u);
    EXPECT_EQ(remove(handle, 3, 1), 0);
    EXPECT_EQ(read(handle, 3, 0, buffer, sizeof buffer, 1), qvmxl::kErrorInvalidStorage);

    auto info =
        fn<int32_t (*)(Handle, uint32_t*, uint32_t*, uint32_t*)>("rfplat_getFlashDeviceInfo");
    uint32_t a = 0, b = 0, c = 0;
    EXPECT_EQ(info(handle, &a, &b, &c), 0);
    EXPECT_EQ(a, module.rfplat().flashInfo[0]);
    EXPECT_EQ(c, module.rfplat().flashInfo[2]);
    EXPECT_EQ(info(handle, &a, nullptr, &c), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(
        fn<int32_t (*)(Handle, uint32_t, uint32_t, int32_t)>("rfplat_createPartition")(0, 1, 2, 3),
        0);
    EXPECT_EQ(
        fn<int32_t (*)(Handle, uint32_t, uint32_t, int32_t)>("rfplat_resizePartition")(0, 1, 2, 3),
        0);
}

}  // namespace
