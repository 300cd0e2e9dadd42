// The FIFO properties through the FIFO: defaults, derived values, what goes
// to the driver on commit, and what the host buffer does when the driver
// refuses to let go of it.
#include <gtest/gtest.h>

#include <cstring>

#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/FifoFixture.h"
#include "qverr/Codes.h"

namespace {

using qvtest::codeOf;
namespace p = qvzek::fifo_properties;

class Properties : public qvtest::FifoOnDevice {};

template <class T>
T field(const std::vector<uint8_t>& block, size_t offset) {
    T value;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
}

TEST_F(Properties, DefaultsAndDerivedValues) {
    auto fifo = make(2, qvzek::kFifoTargetToHost, qvzek::TypeU32(), 5000);
    const uint32_t perPage = static_cast<uint32_t>(qvzek::pageSize() / 4);
    EXPECT_EQ(fifo->getPropertyU32(p::kElementSize), 4u);
    EXPECT_EQ(fifo->getPropertyU32(p::kAlignment), perPage);
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 16384u);  // above twice 5000
    EXPECT_EQ(fifo->getPropertyU64(p::kMirrorSize), 16384u);
    EXPECT_EQ(fifo->getPropertyI32(p::kFlowControl), 2);
    EXPECT_EQ(fifo->getPropertyU32(p::kRegionCapacity), 512u);

    fifo->setPropertyU32(p::kAlignment, 3);
    EXPECT_EQ(fifo->getPropertyU32(p::kAlignment), 4u);
    fifo->setPropertyU32(p::kAlignment, 0);
    EXPECT_EQ(fifo->getPropertyU32(p::kAlignment), 1u);
    fifo->setPropertyU32(p::kAlignment, 512);
    fifo->setPropertyU64(p::kDepth, 1000);
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 1024u);
    EXPECT_EQ(fifo->getPropertyU64(p::kMirrorSize), 1024u);  // a page multiple: mirrored in full
    fifo->setPropertyU64(p::kMirrorSize, 100);
    EXPECT_EQ(fifo->getPropertyU64(p::kMirrorSize), 100u);
    fifo->setPropertyU64(p::kDepth, 1000 + 512);
    EXPECT_EQ(fifo->getPropertyU64(p::kMirrorSize), 0u);  // 1536 is no page multiple
    fifo->setPropertyI32(p::kNumaNode, 5);
    EXPECT_EQ(fifo->getPropertyI32(p::kNumaNode), -1);  // no such node here

    // One of each refusal: read-only, out of range, wrong type, unknown.
    EXPECT_EQ(codeOf([&] { fifo->setPropertyU32(p::kElementSize, 8); }), qvzek::kErrorNotSupported);
    EXPECT_EQ(codeOf([&] { fifo->setPropertyI32(p::kBufferType, 3); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(codeOf([&] { fifo->setPropertyU64(p::kAlignment, 4); }),
              qvzek::kErrorPropertyWrongType);
    EXPECT_EQ(codeOf([&] { fifo->getPropertyU32(11); }), qvzek::kErrorAttributeNotServed);
}

TEST_F(Properties, SizesThatWouldWrapAreRefused) {
    auto fifo = make(2, qvzek::kFifoTargetToHost, qvzek::TypeU64(), 0x80000000u);
    // Twice the bitfile's depth is 2^32 elements, not 0 wrapped in 32 bits.
    fifo->setPropertyI32(p::kFlowControl, 1);
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), uint64_t{1} << 32);

    EXPECT_EQ(codeOf([&] { fifo->setPropertyU32(p::kAlignment, 0x80000001u); }),
              qverr::qvapalerr_invalidParameter);
    fifo->setPropertyU32(p::kAlignment, 0x80000000u);
    EXPECT_EQ(fifo->getPropertyU32(p::kAlignment), 0x80000000u);
    fifo->setPropertyU64(p::kDepth, UINT64_MAX - 5);  // rounding up would wrap
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 0u);
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qvzek::kErrorFifoDepthInvalid);
    fifo->setPropertyU64(p::kDepth, uint64_t{1} << 62);  // x 8 bytes wraps
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qvzek::kErrorFifoDepthInvalid);
    EXPECT_EQ(codeOf([&] { fifo->configure(UINT64_MAX, nullptr, 0); }),
              qvzek::kErrorFifoDepthInvalid);
    // With flow control 2 an alignment above 2^32 bytes leaves no depth.
    fifo->setPropertyI32(p::kFlowControl, 2);
    fifo->setPropertyU64(p::kDepth, 1024);
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 0u);
    EXPECT_TRUE(calls("atomiczekddk_fifo.configureFifo").empty());
}

TEST_F(Properties, CommitSendsTheFiftySixByteRecordOnceAndOnlyWhenChanged) {
    auto fifo = make(6, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->configure(4096, nullptr, 0);
    auto sent = calls("atomiczekddk_fifo.configureFifo");
    ASSERT_EQ(sent.size(), 1u);
    const std::vector<uint8_t> in = sent[0].input;
    ASSERT_EQ(in.size(), 56u);
    EXPECT_EQ(field<uint64_t>(in, 0), qvtest::kSessionKey);
    EXPECT_EQ(field<uint32_t>(in, 8), 6u);
    EXPECT_EQ(field<uint64_t>(in, 16),
              reinterpret_cast<uintptr_t>(fifo->getPropertyPtr(p::kBufferAddress)));
    EXPECT_NE(field<uint64_t>(in, 16), 0u);
    EXPECT_EQ(field<uint64_t>(in, 24), 4096u * 4);  // ring bytes, then mirror bytes
    EXPECT_EQ(field<uint64_t>(in, 32), 4096u * 4);
    EXPECT_EQ(field<uint64_t>(in, 40), uint64_t{2} << 32 | 1);  // buffer type 1, flow control 2
    EXPECT_EQ(field<int32_t>(in, 48), 0);
    EXPECT_EQ(device.fifo(6).ringBytes, 4096u * 4);

    fifo->commit(0);
    EXPECT_EQ(calls("atomiczekddk_fifo.configureFifo").size(), 1u);
    fifo->setPropertyI32(p::kFlowControl, 1);  // no new buffer: the same one, reconfigured
    fifo->commit(0);
    sent = calls("atomiczekddk_fifo.configureFifo");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(field<uint64_t>(sent[1].input, 16), field<uint64_t>(in, 16));
    EXPECT_EQ(field<uint32_t>(sent[1].input, 44), 1u);
    EXPECT_TRUE(calls("atomiczekddk_fifo.beginFifoConfiguration").empty());
}

TEST_F(Properties, CallerBufferNeedsDepthThenAddress) {
    auto fifo = make(1, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->setPropertyI32(p::kBufferType, 2);
    EXPECT_EQ(fifo->getPropertyU32(p::kAlignment), 1u);
    EXPECT_EQ(fifo->getPropertyU64(p::kDepth), 0u);
    EXPECT_EQ(fifo->getPropertyU64(p::kMirrorSize), 0u);
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qvzek::kErrorFifoDepthInvalid);
    fifo->setPropertyU64(p::kDepth, 1000);
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qvzek::kErrorFifoNoBufferAddress);
    qvzek::HostBuffer mine;
    mine.allocate(4096, 0, -1);
    fifo->setPropertyPtr(p::kBufferAddress, mine.address());
    fifo->commit(0);
    EXPECT_EQ(device.fifo(1).address, reinterpret_cast<uintptr_t>(mine.address()));
    EXPECT_EQ(device.fifo(1).ringBytes, 4000u);
    EXPECT_EQ(device.fifo(1).bufferType, 2u);

    // Back to an allocated buffer: the caller's address is dropped.
    fifo->setPropertyI32(p::kBufferType, 1);
    EXPECT_EQ(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
    fifo->reset();
}

TEST_F(Properties, ARefusedConfigurationLeavesNoBufferlessRecordBehind) {
    auto fifo = make(3, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    device.failNext("atomiczekddk_fifo.configureFifo", -50123);
    EXPECT_EQ(codeOf([&] { fifo->start(0); }), -50123);
    fifo->start(0);  // a fresh buffer, configured again
    uint32_t data[4] = {};
    uint8_t timedOut = 1;
    fifo->read(qvzek::TypeU32(), data, 4, 2000, &timedOut, nullptr, 0);
    EXPECT_EQ(timedOut, 0);
    EXPECT_EQ(data[0], 0u);
    EXPECT_EQ(data[3], 3u);
    fifo->stop();

    // A new depth: the old buffer is let go, the new one refused, and the
    // next commit needs a buffer of its own again.
    fifo->setPropertyU64(p::kDepth, 2048);
    device.failNext("atomiczekddk_fifo.configureFifo", -50123);
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), -50123);
    EXPECT_EQ(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
    fifo->commit(0);
    EXPECT_NE(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
    EXPECT_EQ(device.fifo(3).ringBytes, 2048u * 4);
    EXPECT_EQ(device.fifo(3).address,
              reinterpret_cast<uintptr_t>(fifo->getPropertyPtr(p::kBufferAddress)));
    for (const auto& sent : calls("atomiczekddk_fifo.configureFifo")) {
        EXPECT_NE(field<uint64_t>(sent.input, 16), 0u);
    }
}

// A host buffer that could not be had leaves no record of one: every
// commit asks for it again, and saner sizes are configured.
TEST_F(Properties, AFailedAllocationIsTriedAgainOnEveryCommit) {
    auto fifo = make(5, qvzek::kFifoTargetToHost, qvzek::TypeU64());
    fifo->setPropertyI32(p::kFlowControl, 1);
    fifo->setPropertyU64(p::kDepth, uint64_t{1} << 44);  // 128 TiB: more than any address space
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qverr::qvapalerr_memoryFull) << attempt;
        EXPECT_EQ(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
    }
    fifo->setPropertyU64(p::kDepth, 1024);
    fifo->commit(0);
    EXPECT_NE(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
    EXPECT_EQ(device.fifo(5).ringBytes, 1024u * 8);
    EXPECT_EQ(calls("atomiczekddk_fifo.configureFifo").size(), 1u);
}

TEST_F(Properties, ABufferTheDriverWillNotReleaseIsKept) {
    auto fifo = make(4, qvzek::kFifoTargetToHost, qvzek::TypeU32());
    fifo->configure(1024, nullptr, 0);
    auto* old = static_cast<uint32_t*>(fifo->getPropertyPtr(p::kBufferAddress));

    // A new depth needs a new buffer, but the device keeps the old one.
    device.failNext("atomiczekddk_fifo.beginFifoConfiguration", -52005);
    fifo->setPropertyU64(p::kDepth, 2048);
    EXPECT_EQ(codeOf([&] { fifo->commit(0); }), qverr::qvapalerr_invalidParameter);
    old[1023] = 7;  // still ours: no use after free
    EXPECT_EQ(device.fifo(4).address, reinterpret_cast<uintptr_t>(old));
    fifo->commit(0);
    EXPECT_EQ(device.fifo(4).ringBytes, 2048u * 4);

    // A reset whose unconfigure and driver reset both fail keeps it too.
    old = static_cast<uint32_t*>(fifo->getPropertyPtr(p::kBufferAddress));
    device.failNext("atomiczekddk_fifo.beginFifoConfiguration", -52005);
    device.failNext("atomiczekddk_fifo.closeFifo", -52005);
    EXPECT_EQ(codeOf([&] { fifo->reset(); }), qverr::qvapalerr_invalidParameter);
    old[2047] = 7;
    fifo->reset();  // now the driver lets go
    EXPECT_EQ(fifo->getPropertyPtr(p::kBufferAddress), nullptr);
}

}  // namespace
