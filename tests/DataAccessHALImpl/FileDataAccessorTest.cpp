// Partition files on disk: their layout, the sequence numbers that guard
// writes, and what other processes and crashes can do to them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "DataAccessHALImpl/DataAccessHALSession.h"
#include "DataAccessHALImpl/FileDataAccessor.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/TempDir.h"

namespace {

using dataaccesshal::FileDataAccessor;
using qvtest::readFile;
using qvtest::thrownStatus;
namespace fs = std::filesystem;

std::string sequenceFile(const char* digits) {
    return std::string(digits) + '\0';
}

class FilePartitions : public ::testing::Test {
protected:
    std::string at(const std::string& name) const { return dir + "/" + name; }
    uint32_t query(uint32_t partition, uint64_t* size = nullptr) {
        uint64_t local = 0;
        uint32_t sequence = 0;
        accessor.readPartition(partition, nullptr, size ? size : &local, &sequence);
        return sequence;
    }
    std::string read(uint32_t partition) {
        uint64_t size = 0;
        query(partition, &size);
        std::string bytes(size, '\0');
        uint32_t sequence = 0;
        accessor.readPartition(partition, bytes.data(), &size, &sequence);
        return bytes;
    }
    uint32_t write(uint32_t partition, const std::string& bytes, uint32_t sequence) {
        accessor.writePartition(partition, true, bytes.data(), bytes.size(), &sequence);
        return sequence;
    }

    qvtest::TempDir temp;
    const std::string dir = temp / "calfiles";
    FileDataAccessor accessor{dir, "Common"};
};

TEST_F(FilePartitions, FilesAreLaidOutByteForByte) {
    uint64_t size = 0;
    EXPECT_EQ(query(18, &size), 1u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(readFile(at("seq_00000012")), sequenceFile("0000000001"));
    EXPECT_FALSE(fs::exists(at("00000012.bin")));
    EXPECT_EQ(write(18, std::string("\x00\x01\xFF", 3), 1), 2u);
    EXPECT_EQ(readFile(at("00000012.bin")), std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(readFile(at("seq_00000012")), sequenceFile("0000000002"));
    EXPECT_EQ(write(0xABCDEF01, "x", query(0xABCDEF01)), 2u);
    EXPECT_EQ(readFile(at("abcdef01.bin")), "x");
    // Only the partition and sequence files remain: no temporary left over.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 4);

    // The path of a partition (its reading is driven through the exports).
    char path[128];
    uint64_t pathSize = at("00000012.bin").size();
    EXPECT_EQ(thrownStatus([&] { accessor.getPartitionPath(18, path, &pathSize); }).first,
              qvmxl::kErrorBufferTooSmallForString);
    EXPECT_EQ(pathSize, at("00000012.bin").size());

    // Deleting advances the sequence; a partition never written keeps it.
    uint32_t sequence = 77;
    accessor.deletePartition(6, &sequence);
    EXPECT_EQ(sequence, 77u);
    write(6, "data", query(6));
    accessor.deletePartition(6, &sequence);
    EXPECT_EQ(sequence, 3u);
    EXPECT_FALSE(fs::exists(at("00000006.bin")));
    EXPECT_EQ(readFile(at("seq_00000006")), sequenceFile("0000000003"));
}

TEST_F(FilePartitions, StaleWritesAndShortBuffersAreRefusedAndChangeNothing) {
    EXPECT_EQ(write(7, "first", query(7)), 2u);
    const auto [code, json] = thrownStatus([&] { write(7, "second", 1); });
    EXPECT_EQ(code, qvmxl::kErrorStorageAlteredPriorToSave);
    EXPECT_NE(json.find("Incorrect Sequence Number"), std::string::npos) << json;
    EXPECT_EQ(read(7), "first");
    EXPECT_EQ(query(7), 2u);

    uint64_t size = 4;
    uint32_t sequence = 0;
    char buffer[4];
    const auto [missing, detail] =
        thrownStatus([&] { accessor.readPartition(3, buffer, &size, &sequence); });
    EXPECT_EQ(missing, qvmxl::kErrorInvalidStorage);
    EXPECT_NE(detail.find("querying the size"), std::string::npos) << detail;
    EXPECT_EQ(thrownStatus([&] { accessor.readPartition(7, buffer, &size, &sequence); }).first,
              qvmxl::kErrorReadBufferTooSmall);
    EXPECT_EQ(size, 4u);
}

TEST_F(FilePartitions, SequenceTextThatDoesNotParseIsResetToOne) {
    for (const std::string& garbage : {std::string("-5"), std::string(30, '9')}) {
        qvtest::writeFile(at("seq_00000009"), garbage);
        EXPECT_EQ(query(9), 1u) << garbage;
        EXPECT_EQ(readFile(at("seq_00000009")), sequenceFile("0000000001"));
    }
    // Trailing bytes after the digits do not matter.
    qvtest::writeFile(at("seq_00000009"), "0000000041 junk");
    EXPECT_EQ(query(9), 41u);
    EXPECT_EQ(dataaccesshal::parseSequenceNumber("4294967297"), 1u);
    EXPECT_EQ(dataaccesshal::parseSequenceNumber("18446744073709551616"), std::nullopt);
}

TEST_F(FilePartitions, SoftCopiesAndPartitionZeroAreRefusedBeforeTheDiskIsTouched) {
    uint32_t sequence = 1;
    uint64_t size = 0;
    EXPECT_EQ(thrownStatus([&] { accessor.writePartition(5, false, "x", 1, &sequence); }).first,
              qvmxl::kErrorSoftwareFault);
    EXPECT_EQ(thrownStatus([&] { accessor.flushPartition(5); }).first, qvmxl::kErrorSoftwareFault);
    const auto [code, json] =
        thrownStatus([&] { accessor.readPartition(0, nullptr, &size, &sequence); });
    EXPECT_EQ(code, qvmxl::kErrorOutOfRange);
    EXPECT_NE(json.find("kUsageTypeRequestedValue"), std::string::npos) << json;
    EXPECT_FALSE(fs::exists(dir));
}

TEST_F(FilePartitions, AFailedRemovalIsReportedAndKeepsTheSequence) {
    // A partition path that is a non-empty directory cannot be removed.
    fs::create_directories(at("00000006.bin") + "/inside");
    uint32_t sequence = 0;
    EXPECT_EQ(thrownStatus([&] { accessor.deletePartition(6, &sequence); }).first,
              qvmxl::kErrorSoftwareFault);
    EXPECT_EQ(sequence, 0u);
    EXPECT_EQ(query(6), 1u);
}

TEST_F(FilePartitions, ListingTakesBinFilesOnly) {
    for (const char* name : {"0000001A.BIN", "bin", "seq_0000001a", "x.txt", "tmp_00000002_1_0"}) {
        qvtest::writeFile(at(name), "x");
    }
    fs::create_directories(at("00000005.bin"));
    fs::create_symlink(at("x.txt"), at("00000007.bin"));
    std::vector<uint32_t> ids(3);
    uint64_t count = ids.size();
    accessor.getPartitionList(ids.data(), &count);
    ASSERT_EQ(count, 3u);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<uint32_t>{0x7, 0xB, 0x1A}));
    count = 2;
    EXPECT_EQ(thrownStatus([&] { accessor.getPartitionList(ids.data(), &count); }).first,
              qvmxl::kErrorReadBufferTooSmall);
    EXPECT_EQ(count, 3u);

    FileDataAccessor missing(temp / "nowhere", "");
    missing.getPartitionList(nullptr, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dataaccesshal::partitionFromFileName("1ffffffff.bin"), std::nullopt);
    EXPECT_EQ(dataaccesshal::partitionFromFileName("0000001a.bin.tmp"), std::nullopt);
}

// A slot left empty by the code that filled the session is a fault of that
// code, reported by the first call that reaches it.
TEST(DataAccessSession, AnEmptyAccessorSlotIsASoftwareFault) {
    dataaccesshal::DataAccessHALSession session;
    session.addAccessor(nullptr);
    dataaccesshal::AccessorDescriptor descriptor;
    qvtest::expectRefusals({{[&] { session.getAccessorDescriptor(0, descriptor); },
                             qvmxl::kErrorSoftwareFault, qvtest::kHeaderOnly, nullptr}});
}

// Four processes each add 100 updates to one partition holding a counter;
// an update that loses the race retries with the new sequence number.
TEST_F(FilePartitions, ConcurrentProcessesLoseNoUpdate) {
    write(1, "0", query(1));
    constexpr int kProcesses = 4;
    constexpr int kUpdates = 100;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FileDataAccessor own(dir, "Common");
            int done = 0;
            for (int attempt = 0; done < kUpdates && attempt < 100000; ++attempt) {
                try {
                    char bytes[32] = {};
                    uint64_t size = sizeof bytes - 1;
                    uint32_t sequence = 0;
                    own.readPartition(1, bytes, &size, &sequence);
                    const std::string next =
                        std::to_string(std::stoi(std::string(bytes, size)) + 1);
                    own.writePartition(1, true, next.data(), next.size(), &sequence);
                    ++done;
                } catch (const qverr::Exception& exception) {
                    if (exception.status.code != qvmxl::kErrorStorageAlteredPriorToSave)
                        _exit(10 + (-exception.status.code % 100));
                }
            }
            _exit(done == kUpdates ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(read(1), std::to_string(kProcesses * kUpdates));
    EXPECT_EQ(query(1), 2u + kProcesses * kUpdates);
}

// A writer killed anywhere leaves the old or the new content, whole.
TEST_F(FilePartitions, AWriterKilledAtAnyPointLeavesAWholeCalibration) {
    const std::string oldContent(256 * 1024, 'o');
    const std::string newContent(384 * 1024, 'n');
    write(2, oldContent, query(2));
    std::mt19937 random(12345);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FileDataAccessor own(dir, "Common");
            for (int i = 0;; ++i) {
                uint64_t size = 0;
                uint32_t sequence = 0;
                own.readPartition(2, nullptr, &size, &sequence);
                const std::string& content = i % 2 == 0 ? newContent : oldContent;
                own.writePartition(2, true, content.data(), content.size(), &sequence);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string content = read(2);
        ASSERT_TRUE(content == oldContent || content == newContent)
            << "torn partition of " << content.size();
    }
    // Left-over temporary files never show as partitions.
    uint64_t count = 0;
    accessor.getPartitionList(nullptr, &count);
    EXPECT_EQ(count, 1u);
}

}  // namespace
