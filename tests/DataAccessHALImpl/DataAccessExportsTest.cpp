// The da_ exports as a C driver calls them, on a data-access session built
// as the device session builds it: two calibration directories and the
// module's flash.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "DataAccessHALImpl/DataAccessHALSession.h"
#include "DataAccessHALImpl/FileDataAccessor.h"
#include "DataAccessHALImpl/FlashDataAccessor.h"
#include "RFPlatImpl/RFPlatImpl.h"
#include "RFPlatImpl/RFPlatSession.h"
#include "module/RFPlatBlock.h"
#include "module/SimulatedModule.h"
#include "qvmxl/errors.h"
#include "support/HostLibrary.h"
#include "support/TempDir.h"

namespace {

using Status = qvhost_status;

class DataAccessExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        platform.reset(RFPlatSession_createInstance(module.devicePath().c_str(), nullptr));
        session.addAccessor(std::make_unique<dataaccesshal::FileDataAccessor>(temp / "01AB23CD", ""));
        session.addAccessor(std::make_unique<dataaccesshal::FileDataAccessor>(temp / "Common", "Common"));
        for (const std::string& name : platform->getFlashDevices()) {
            session.addAccessor(std::make_unique<dataaccesshal::FlashDataAccessor>(platform.get(), name));
        }
        handle = reinterpret_cast<uintptr_t>(&session);
        status = qvhost_newStatus();
    }
    void TearDown() override { qvhost_release(&status); }
    void resetStatus() {
        qvhost_release(&status);
        status = qvhost_newStatus();
    }

    template <class F>
    F fn(const char* name) {
        return library.fn<F>(name);
    }

    qvtest::TempDir temp;
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    std::unique_ptr<rfplat::RFPlatSession> platform;
    dataaccesshal::DataAccessHALSession session;
    uint64_t handle = 0;
    Status status{};
};

TEST_F(DataAccessExports, AccessorsAreCountedAndListed) {
    auto getAccessors = fn<void (*)(uint64_t, uint64_t*, uint64_t*, Status*)>("da_getAccessors");
    uint64_t ids[5] = {9, 9, 9, 9, 9};
    for (uint64_t capacity : {0u, 5u}) {
        uint64_t count = capacity;
        getAccessors(handle, nullptr, &count, &status);
        EXPECT_EQ(count, 3u);
    }
    uint64_t count = 0;
    getAccessors(handle, ids, &count, &status);  // a capacity of 0 writes nothing
    EXPECT_EQ(ids[0], 9u);
    count = 2;
    getAccessors(handle, ids, &count, &status);
    EXPECT_EQ(status.code, qvmxl::kErrorReadBufferTooSmall);
    EXPECT_EQ(count, 2u);
    resetStatus();
    count = 3;
    getAccessors(handle, ids, &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(ids[0], 0u);
    EXPECT_EQ(ids[2], 2u);
    EXPECT_EQ(ids[3], 9u);
    getAccessors(0, ids, &count, &status);
    EXPECT_EQ(status.code, -52005);
}

TEST_F(DataAccessExports, DescriptorsNameEachStore) {
    auto descriptor = fn<void (*)(uint64_t, uint64_t, uint32_t*, char*, uint64_t*, Status*)>(
        "da_getAccessorDescriptor");
    uint32_t type = 9;
    uint64_t size = 0;
    descriptor(handle, 1, &type, nullptr, &size, &status);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(size, 7u);
    char name[8];
    std::memset(name, '#', sizeof name);
    size = 6;
    descriptor(handle, 1, &type, name, &size, &status);
    EXPECT_EQ(status.code, qvmxl::kErrorBufferTooSmallForString);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(name[0], '#');
    resetStatus();
    size = 7;
    type = 9;
    descriptor(handle, 1, &type, name, &size, &status);
    EXPECT_STREQ(name, "Common");
    EXPECT_EQ(name[7], '#');
    descriptor(handle, 0, &type, name, &size, &status);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(type, 1u);
    descriptor(handle, 2, &type, name, &size, &status);
    EXPECT_EQ(type, 0u);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(status.code, 0);
    descriptor(handle, 2, nullptr, name, &size, &status);
    EXPECT_EQ(status.code, -52005);
    resetStatus();
    for (uint64_t bad : {uint64_t{3}, uint64_t{1} << 63}) {
        descriptor(handle, bad, &type, nullptr, &size, &status);
        EXPECT_EQ(status.code, -52005);
        resetStatus();
    }
}

TEST_F(DataAccessExports, PartitionsOnDiskAndInFlash) {
    auto read = fn<void (*)(uint64_t, uint64_t, uint32_t, void*, uint64_t*, uint32_t*, Status*)>("da_readPartition");
    auto write = fn<void (*)(uint64_t, uint64_t, uint32_t, int32_t, const void*, uint64_t, uint32_t*, Status*)>(
        "da_writePartition");
    auto remove = fn<void (*)(uint64_t, uint64_t, uint32_t, uint32_t*, Status*)>("da_deletePartition");
    auto list = fn<void (*)(uint64_t, uint64_t, uint32_t*, uint64_t*, Status*)>("da_getPartitionList");
    for (uint64_t accessor : {0u, 1u, 2u}) {
        uint64_t size = 0;
        uint32_t sequence = 0;
        read(handle, accessor, 4, nullptr, &size, &sequence, &status);
        EXPECT_EQ(sequence, 1u) << accessor;
        write(handle, accessor, 4, 0x101, "abc", 3, &sequence, &status);
        EXPECT_EQ(sequence, 2u);
        char buffer[8] = {};
        size = sizeof buffer;
        read(handle, accessor, 4, buffer, &size, &sequence, &status);
        EXPECT_EQ(size, 3u);
        EXPECT_STREQ(buffer, "abc");
        uint32_t ids[4] = {};
        uint64_t count = 4;
        list(handle, accessor, ids, &count, &status);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(ids[0], 4u);
        remove(handle, accessor, 4, &sequence, &status);
        EXPECT_EQ(sequence, 3u);
        EXPECT_EQ(status.code, 0) << accessor << status.json;
    }
    EXPECT_EQ(qvtest::readFile(temp / "Common/00000004.bin"), "");
    EXPECT_TRUE(std::filesystem::exists(temp / "Common/seq_00000004"));

    // A 64-bit size offers its low 32 bits to the flash.
    uint64_t size = (uint64_t{1} << 32) + 16;
    uint32_t sequence = 0;
    char buffer[16];
    read(handle, 2, 4, buffer, &size, &sequence, &status);
    EXPECT_EQ(module.decoder().last("rfplat.readPartition")->value("size"), 16);

    read(handle, 0, 4, buffer, nullptr, nullptr, &status);
    EXPECT_EQ(status.code, -52005);
    EXPECT_NE(std::string(status.json).find("\"line\":134"), std::string::npos) << status.json;
}

TEST_F(DataAccessExports, FlashHasNoPathsAndNothingFlushes) {
    auto path = fn<void (*)(uint64_t, uint64_t, uint32_t, char*, uint64_t*, Status*)>("da_getPartitionPath");
    auto flush = fn<void (*)(uint64_t, uint64_t, uint32_t, Status*)>("da_flushPartition");
    char text[256] = "#";
    uint64_t size = sizeof text;
    path(handle, 2, 7, text, &size, &status);
    EXPECT_EQ(size, 1u);
    EXPECT_STREQ(text, "");
    size = 0;
    path(handle, 2, 7, text, &size, &status);
    EXPECT_EQ(status.code, qvmxl::kErrorReadBufferTooSmall);
    resetStatus();
    size = sizeof text;
    path(handle, 1, 18, text, &size, &status);
    EXPECT_EQ(std::string(text), temp / "Common/00000012.bin");
    for (uint64_t accessor : {0u, 1u, 2u}) {
        flush(handle, accessor, 1, &status);
        EXPECT_EQ(status.code, qvmxl::kErrorSoftwareFault);
        resetStatus();
    }
}

TEST_F(DataAccessExports, ANullStatusMakesEveryCallDoNothing) {
    uint64_t count = 0;
    fn<void (*)(uint64_t, uint64_t*, uint64_t*, Status*)>("da_getAccessors")(handle, nullptr, &count, nullptr);
    EXPECT_EQ(count, 0u);
    uint32_t sequence = 5;
    fn<void (*)(uint64_t, uint64_t, uint32_t, int32_t, const void*, uint64_t, uint32_t*, Status*)>(
        "da_writePartition")(handle, 0, 4, 1, "x", 1, &sequence, nullptr);
    fn<void (*)(uint64_t, uint64_t, uint32_t, Status*)>("da_flushPartition")(0, 0, 0, nullptr);
    EXPECT_FALSE(std::filesystem::exists(temp / "01AB23CD"));
    EXPECT_EQ(sequence, 5u);
}

}  // namespace
