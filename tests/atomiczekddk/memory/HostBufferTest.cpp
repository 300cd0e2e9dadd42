// Host memory for DMA: the mirrored ring aliases its head behind its end,
// plain buffers are page-aligned, NUMA binding and the node scan, and every
// failure path gives its code and leaves nothing behind (mappings, files,
// memory: LeakSanitizer checks the last at exit).
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "atomiczekddk/memory/HostBuffer.h"
#include "qverr/Codes.h"
#include "support/SimulatedRoot.h"
#include "support/SyscallFault.h"
#include "support/TempDir.h"

namespace {

using qvtest::thrownStatus;
using qvzek::HostBuffer;
using qvzek::MirroredBuffer;

const uint64_t kPage = qvzek::pageSize();

std::set<std::string> leftoverFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("mirrorAllocation", 0) == 0) names.insert(name);
    }
    return names;
}

// Whether any mapping of a mirrored buffer's shared file is left.
bool mirroredMappingsLeft() {
    const std::string maps = qvtest::readFile("/proc/self/maps");
    return maps.find("mirroredBuffer") != std::string::npos;
}

void expectAliasedBothWays(const MirroredBuffer& buffer) {
    uint8_t* base = buffer.base();
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(buffer.mirror(), base + buffer.size());
    for (uint64_t i = 0; i < buffer.mirrorSize(); i += 509) {
        base[i] = static_cast<uint8_t>(i * 7 + 1);
        EXPECT_EQ(base[buffer.size() + i], static_cast<uint8_t>(i * 7 + 1)) << i;
        base[buffer.size() + i] = static_cast<uint8_t>(i * 3 + 2);
        EXPECT_EQ(base[i], static_cast<uint8_t>(i * 3 + 2)) << i;
    }
    // A run that wraps past the end reads the head of the ring contiguously.
    const uint64_t start = buffer.size() - 16;
    for (uint64_t i = 0; i < 16; ++i) base[start + i] = static_cast<uint8_t>(0xA0 + i);
    for (uint64_t i = 0; i < 16; ++i) base[i] = static_cast<uint8_t>(0xB0 + i);
    uint8_t run[32];
    std::memcpy(run, base + start, sizeof run);
    for (uint64_t i = 0; i < 16; ++i) {
        EXPECT_EQ(run[i], 0xA0 + i);
        EXPECT_EQ(run[16 + i], 0xB0 + i);
    }
}

TEST(MirroredBuffer, AliasesItsHeadBehindItsEndBothWays) {
    expectAliasedBothWays(MirroredBuffer(4 * kPage, kPage, -1));
    expectAliasedBothWays(MirroredBuffer(2 * kPage, 2 * kPage, -1));
    // A mirror that is no page multiple still aliases every byte it covers.
    expectAliasedBothWays(MirroredBuffer(2 * kPage, 100, -1));
}

TEST(MirroredBuffer, RefusesBadSizes) {
    EXPECT_EQ(thrownStatus([&] { MirroredBuffer(kPage + 1, 1, -1); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(thrownStatus([&] { MirroredBuffer(kPage, kPage + 1, -1); }).first,
              qverr::qvapalerr_invalidParameter);
    // size + mirrorSize beyond 64 bits would reserve a wrapped, tiny range.
    const uint64_t huge = ~uint64_t{0} - kPage + 1;
    EXPECT_EQ(thrownStatus([&] { MirroredBuffer(huge, 2 * kPage, -1); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_FALSE(mirroredMappingsLeft());
}

TEST(MirroredBuffer, FallsBackToAnUnlinkedTemporaryFileWithoutMemfd) {
    const auto before = leftoverFiles();
    ASSERT_TRUE(qvtest::withSyscallFaults({{SYS_memfd_create, ENOSYS}}, [] {
        expectAliasedBothWays(MirroredBuffer(2 * kPage, kPage, -1));
    }));
    EXPECT_EQ(leftoverFiles(), before);
}

TEST(MirroredBuffer, FailuresOfTheSharedFileOrBindingAreSoftwareFaultsAndLeaveNothingMapped) {
    struct Row {
        long call;
        int error;
        int node;
    };
    for (const Row& row :
         {Row{SYS_memfd_create, EMFILE, -1}, Row{SYS_ftruncate, EIO, -1}, Row{SYS_mbind, EIO, 0}}) {
        ASSERT_TRUE(qvtest::withSyscallFaults({{row.call, row.error}}, [&] {
            EXPECT_EQ(thrownStatus([&] { MirroredBuffer(2 * kPage, kPage, row.node); }).first,
                      qverr::qvapalerr_softwareFaultAPALInternalUseOnly)
                << row.call;
        }));
        EXPECT_FALSE(mirroredMappingsLeft()) << row.call;
    }
}

TEST(NumaBinding, NoPreferenceMakesNoCallAndAKernelWithoutNumaIsNoError) {
    ASSERT_TRUE(qvtest::withSyscallFaults({{SYS_mbind, EIO}}, [] {
        HostBuffer buffer;
        buffer.allocate(kPage, 0, -1);
        EXPECT_NE(buffer.plain(), nullptr);
    }));
    ASSERT_TRUE(qvtest::withSyscallFaults(
        {{SYS_mbind, ENOSYS}}, [] { expectAliasedBothWays(MirroredBuffer(kPage, kPage, 3)); }));
    // Whether the machine has the node is the kernel's business; the call
    // itself is made with a mask the kernel accepts.
    ASSERT_TRUE(qvtest::withSyscallFaults(
        {{SYS_mbind, 0}}, [] { free(qvzek::allocatePageAlignedBuffer(kPage, 70)); }));
    EXPECT_EQ(thrownStatus([] { qvzek::bindToNumaNode(nullptr, kPage, -2); }).first,
              qverr::qvapalerr_invalidParameter);
}

TEST(NumaBinding, AFailedBindingGivesThePlainBufferBack) {
    // LeakSanitizer reports the buffer at exit if it was kept.
    ASSERT_TRUE(qvtest::withSyscallFaults({{SYS_mbind, EPERM}}, [] {
        EXPECT_EQ(thrownStatus([] { qvzek::allocatePageAlignedBuffer(3 * kPage, 0); }).first,
                  qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
        HostBuffer buffer;
        EXPECT_EQ(thrownStatus([&] { buffer.allocate(kPage, 0, 0); }).first,
                  qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
        EXPECT_EQ(buffer.address(), nullptr);
    }));
}

TEST(NumaNodes, TheHighestNodeComesFromTheNodeDirectory) {
    {
        qvtest::SimulatedRoot root;
        EXPECT_EQ(qvzek::highestNumaNode(), -1);  // no such directory
        qvtest::writeFile(root / "sys/devices/system/node/possible", "0-1\n");
        EXPECT_EQ(qvzek::highestNumaNode(), -1);  // no node entries
        qvtest::writeFile(root / "sys/devices/system/node/node0/cpulist", "0\n");
        qvtest::writeFile(root / "sys/devices/system/node/node1/cpulist", "1\n");
        qvtest::writeFile(root / "sys/devices/system/node/has_memory", "0-1\n");
        EXPECT_EQ(qvzek::highestNumaNode(), 1);
        qvtest::writeFile(root / "sys/devices/system/node/node12/cpulist", "2\n");
        EXPECT_EQ(qvzek::highestNumaNode(), 12);
    }
    EXPECT_GE(qvzek::highestNumaNode(), -1);  // the real machine again
}

int releases = 0;
void countingRelease(void* address) {
    ++releases;
    free(address);
}

TEST(HostBuffer, HoldsOneKindAtATimeAndEmptiesOnEveryAllocate) {
    releases = 0;
    HostBuffer buffer(&countingRelease);
    buffer.allocate(2 * kPage, 0, -1);
    ASSERT_NE(buffer.plain(), nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.plain()) % kPage, 0u);
    EXPECT_EQ(buffer.mirrored(), nullptr);
    EXPECT_EQ(buffer.address(), buffer.plain());

    buffer.allocate(2 * kPage, kPage, -1);  // releases the plain buffer first
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(buffer.plain(), nullptr);
    ASSERT_NE(buffer.mirrored(), nullptr);
    EXPECT_EQ(buffer.address(), buffer.mirrored()->base());

    // A failed allocate leaves the holder empty.
    EXPECT_EQ(thrownStatus([&] { buffer.allocate(kPage + 5, 8, -1); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(buffer.address(), nullptr);
    EXPECT_FALSE(mirroredMappingsLeft());
}

}  // namespace
