// The da_ exports as a C driver calls them, on the data-access context of a
// device session on the simulated module: two calibration directories and
// the module's flash.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "HALUtilities/CalibrationPaths.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/TempDir.h"

namespace {

using Status = qvhost_status;

class DataAccessExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.loaded());
        handle = exported.handle();
    }
    // Calls export `name` with a fresh status as its last argument: the code.
    template <class... Args>
    int32_t call(const char* name, Args... args) {
        Status status = qvhost_newStatus();
        library.fn<void (*)(Args..., Status*)>(name)(args..., &status);
        const int32_t code = status.code;
        json = status.json ? status.json : "";
        qvhost_release(&status);
        return code;
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    qvtest::LibraryContext exported{library, module, "ai/0", 32};
    // Where the board's ("01AB23CD") and the common directory are, below the
    // module's simulated root.
    const std::filesystem::path calibration = qv3377hal::calibrationFilePath(0, "RevB", "");
    uint64_t handle = 0;
    std::string json;
};

TEST_F(DataAccessExports, AccessorsAndTheirDescriptors) {
    const auto getAccessors = [&](uint64_t h, uint64_t* ids, uint64_t* count) {
        return call<uint64_t, uint64_t*, uint64_t*>("da_getAccessors", h, ids, count);
    };
    uint64_t ids[5] = {9, 9, 9, 9, 9};
    uint64_t count = 0;
    EXPECT_EQ(getAccessors(handle, nullptr, &count), 0);
    EXPECT_EQ(count, 3u);
    count = 2;
    EXPECT_EQ(getAccessors(handle, ids, &count), qvmxl::kErrorReadBufferTooSmall);
    EXPECT_EQ(count, 2u);
    count = 3;
    EXPECT_EQ(getAccessors(handle, ids, &count), 0);
    EXPECT_EQ(ids[2], 2u);
    EXPECT_EQ(ids[3], 9u);
    EXPECT_EQ(getAccessors(0, ids, &count), qverr::qvapalerr_invalidParameter);

    const auto descriptor = [&](uint64_t id, uint32_t* type, char* name, uint64_t* size) {
        return call<uint64_t, uint64_t, uint32_t*, char*, uint64_t*>("da_getAccessorDescriptor",
                                                                     handle, id, type, name, size);
    };
    uint32_t type = 9;
    uint64_t size = 0;
    descriptor(1, &type, nullptr, &size);
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(size, 7u);
    char name[8];
    std::memset(name, '#', sizeof name);
    size = 6;
    EXPECT_EQ(descriptor(1, &type, name, &size), qvmxl::kErrorBufferTooSmallForString);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(name[0], '#');
    size = 7;
    EXPECT_EQ(descriptor(1, &type, name, &size), 0);
    EXPECT_STREQ(name, "Common");
    EXPECT_EQ(name[7], '#');
    EXPECT_EQ(descriptor(2, &type, name, &size), 0);
    EXPECT_EQ(type, 0u);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(descriptor(uint64_t{1} << 63, &type, nullptr, &size),
              qverr::qvapalerr_invalidParameter);
}

TEST_F(DataAccessExports, PartitionsOnDiskAndInFlash) {
    const auto read = [&](uint64_t accessor, void* buffer, uint64_t* size, uint32_t* sequence) {
        return call<uint64_t, uint64_t, uint32_t, void*, uint64_t*, uint32_t*>(
            "da_readPartition", handle, accessor, 4, buffer, size, sequence);
    };
    for (uint64_t accessor : {0u, 1u, 2u}) {
        SCOPED_TRACE(accessor);
        uint64_t size = 0;
        uint32_t sequence = 0;
        read(accessor, nullptr, &size, &sequence);
        EXPECT_EQ(sequence, 1u);
        EXPECT_EQ((call<uint64_t, uint64_t, uint32_t, int32_t, const void*, uint64_t, uint32_t*>(
                      "da_writePartition", handle, accessor, 4, 0x101, "abc", 3, &sequence)),
                  0);
        EXPECT_EQ(sequence, 2u);
        char buffer[8] = {};
        size = sizeof buffer;
        read(accessor, buffer, &size, &sequence);
        EXPECT_EQ(size, 3u);
        EXPECT_STREQ(buffer, "abc");
        uint32_t ids[4] = {};
        uint64_t count = 4;
        call<uint64_t, uint64_t, uint32_t*, uint64_t*>("da_getPartitionList", handle, accessor, ids,
                                                       &count);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(ids[0], 4u);
        EXPECT_EQ((call<uint64_t, uint64_t, uint32_t, uint32_t*>("da_deletePartition", handle,
                                                                 accessor, 4, &sequence)),
                  0);
        EXPECT_EQ(sequence, 3u);
    }
    EXPECT_EQ(qvtest::readFile((calibration / "Common/00000004.bin").string()), "");
    EXPECT_TRUE(std::filesystem::exists(calibration / "Common/seq_00000004"));

    // A 64-bit size offers its low 32 bits to the flash.
    uint64_t size = (uint64_t{1} << 32) + 16;
    uint32_t sequence = 0;
    char buffer[16];
    read(2, buffer, &size, &sequence);
    EXPECT_EQ(module.decoder().last("rfplat.readPartition")->value("size"), 16);
    EXPECT_EQ(read(0, buffer, nullptr, nullptr), qverr::qvapalerr_invalidParameter);
    EXPECT_NE(json.find("\"line\":134"), std::string::npos) << json;

    // Flash has no paths; a file accessor names its file.
    const auto path = [&](uint64_t accessor, uint32_t partition, char* text, uint64_t* length) {
        return call<uint64_t, uint64_t, uint32_t, char*, uint64_t*>(
            "da_getPartitionPath", handle, accessor, partition, text, length);
    };
    char text[256] = "#";
    size = sizeof text;
    path(2, 7, text, &size);
    EXPECT_EQ(size, 1u);
    EXPECT_STREQ(text, "");
    size = 0;
    EXPECT_EQ(path(2, 7, text, &size), qvmxl::kErrorReadBufferTooSmall);
    size = sizeof text;
    path(1, 18, text, &size);
    EXPECT_EQ(std::string(text), (calibration / "Common/00000012.bin").string());
}

TEST_F(DataAccessExports, RefusalsNameTheRaisingClassAndWhatWasWrong) {
    using namespace qvmxl;
    uint64_t ids[4] = {};
    uint32_t partitions[4] = {};
    uint32_t type = 0;
    uint32_t sequence = 0;
    uint64_t size = 0;
    uint64_t slot = 5;
    char text[8] = {};
    const auto list = [&](uint64_t accessor) {
        size = 0;
        return call<uint64_t, uint64_t, uint32_t*, uint64_t*>("da_getPartitionList", handle,
                                                              accessor, partitions, &size);
    };
    const auto path = [&](uint64_t accessor, uint64_t capacity) {
        size = capacity;
        return call<uint64_t, uint64_t, uint32_t, char*, uint64_t*>("da_getPartitionPath", handle,
                                                                    accessor, 4, text, &size);
    };
    const auto read = [&](uint32_t partition, uint64_t capacity, uint64_t* sizeOut) {
        size = capacity;
        return call<uint64_t, uint64_t, uint32_t, void*, uint64_t*, uint32_t*>(
            "da_readPartition", handle, 0, partition, text, sizeOut, &sequence);
    };
    const auto write = [&](uint32_t partition, int32_t hardCopy, uint32_t stored) {
        sequence = stored;
        return call<uint64_t, uint64_t, uint32_t, int32_t, const void*, uint64_t, uint32_t*>(
            "da_writePartition", handle, 0, partition, hardCopy, "abc", 3, &sequence);
    };
    const auto flush = [&](uint64_t accessor) {
        return call<uint64_t, uint64_t, uint32_t>("da_flushPartition", handle, accessor, 4);
    };
    const auto open = [&](uint64_t* handleOut) {
        return call<uint64_t, uint64_t, uint64_t*>("da_open", 0, 0, handleOut);
    };
    ASSERT_EQ(write(4, 1, 1), 0);
    // Partition 5 of accessor 0 is a directory with content: it can be
    // neither replaced nor removed.
    std::filesystem::create_directories(calibration / "01AB23CD/00000005.bin/keep");

    const struct {
        std::function<int32_t()> call;
        int32_t code;
        const char* key;  // as qvtest::expectDetail reads it
        const char* text;
    } cases[] = {
        {[&] {
             size = 2;
             return call<uint64_t, uint64_t*, uint64_t*>("da_getAccessors", handle, ids, &size);
         },
         kErrorReadBufferTooSmall, nullptr, nullptr},
        {[&] {
             return call<uint64_t, uint64_t, uint32_t*, char*, uint64_t*>(
                 "da_getAccessorDescriptor", handle, 7, &type, nullptr, &size);
         },
         qverr::qvapalerr_invalidParameter, nullptr, nullptr},
        {[&] {
             size = 2;
             return call<uint64_t, uint64_t, uint32_t*, char*, uint64_t*>(
                 "da_getAccessorDescriptor", handle, 1, &type, text, &size);
         },
         kErrorBufferTooSmallForString, qvtest::kHeaderOnly, nullptr},
        {[&] { return list(0); }, kErrorReadBufferTooSmall, qvtest::kHeaderOnly, nullptr},
        {[&] { return path(0, 3); }, kErrorBufferTooSmallForString, qvtest::kHeaderOnly, nullptr},
        {[&] { return path(2, 0); }, kErrorReadBufferTooSmall, qvtest::kHeaderOnly, nullptr},
        {[&] { return read(0, 0, &size); }, kErrorOutOfRange, "FileDataAccessor",
         "partition 0 has no file of its own"},
        {[&] { return read(9, 8, &size); }, kErrorInvalidStorage, "FileDataAccessor",
         "partition does not exist"},
        {[&] { return read(4, 2, &size); }, kErrorReadBufferTooSmall, qvtest::kHeaderOnly, nullptr},
        {[&] { return write(4, 0, 2); }, kErrorSoftwareFault, "FileDataAccessor",
         "soft copies are not supported"},
        {[&] { return write(4, 1, 99); }, kErrorStorageAlteredPriorToSave, "FileDataAccessor",
         "stale sequence number"},
        {[&] { return write(5, 1, 1); }, kErrorSoftwareFault, "FileDataAccessor",
         "partition file could not be written"},
        {[&] {
             return call<uint64_t, uint64_t, uint32_t, uint32_t*>("da_deletePartition", handle, 0,
                                                                  5, &sequence);
         },
         kErrorSoftwareFault, "FileDataAccessor", "partition file could not be deleted"},
        {[&] { return flush(0); }, kErrorSoftwareFault, qvtest::kHeaderOnly, nullptr},
        {[&] { return flush(2); }, kErrorSoftwareFault, qvtest::kHeaderOnly, nullptr},
        {[&] { return read(4, 8, nullptr); }, qverr::qvapalerr_invalidParameter, "ErrorHandling",
         "null pointer argument"},
        {[&] { return open(nullptr); }, qverr::qvapalerr_invalidParameter, "da_open",
         "null handle slot"},
        {[&] { return open(&slot); }, qverr::qvapalerr_invalidParameter, "da_open",
         "handle slot already holds a handle"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), c.code) << json;
        qvtest::expectDetail(json, c.key, c.text);
    }
}

}  // namespace
