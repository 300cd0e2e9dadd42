#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#include "atomiczekddk/memory/HMBVirtualMemoryManager.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/session/SessionFixture.h"
#include "qverr/Codes.h"

namespace {

using qvtest::codeOf;
using qvtest::fixedBlock;
using qvtest::hmbBlock;
using qvtest::hmbElement;
using qvtest::layoutText;
using qvtest::llbElement;

constexpr const char* kSig = "0123456789abcdef0011223344556677";
constexpr const char* kSig2 = "00000000000000000000000000000002";

class HmbManager : public qvtest::FpgaOnDevice {
protected:
    std::shared_ptr<qvzek::HMBVirtualMemoryManager> manager =
        std::make_shared<qvzek::HMBVirtualMemoryManager>(proxy);

    bool configure(const std::string& targetData, const char* signature = kSig) {
        return manager->configure(layoutText(targetData), signature);
    }

    std::vector<qvsim::FpgaDevice::ControlRequest> announcements() const {
        std::vector<qvsim::FpgaDevice::ControlRequest> found;
        for (auto& request : device.controlRequests()) {
            if (request.target == 0 && request.operation == 3) found.push_back(request);
        }
        return found;
    }
};

TEST_F(HmbManager, LayoutsFromTheImage) {
    // One block of 1000 elements of 64 bits: 8000 bytes at offset 0, one MiB
    // of region in 8-byte units.
    EXPECT_TRUE(configure(hmbElement(hmbBlock("a", 1000, 64))));
    EXPECT_EQ(manager->entryCount(), 131072u);
    EXPECT_EQ(manager->blocks().at("a").offset, 0u);
    EXPECT_EQ(manager->blocks().at("a").size, 8000u);
    EXPECT_EQ(manager->blocks().at("a").baggage, -1);

    auto two = std::make_shared<qvzek::HMBVirtualMemoryManager>(proxy);
    EXPECT_TRUE(two->configure(
        layoutText(hmbElement(hmbBlock("a", 1000, 64) + hmbBlock("b", 1000, 64))), kSig));
    EXPECT_EQ(two->blocks().at("b").offset, 8000u);
    EXPECT_EQ(two->entryCount(), 262144u);

    // Every non-empty block takes a MiB: the fifth and all after it drop.
    std::string five;
    for (char c = 'a'; c <= 'f'; ++c) five += hmbBlock(std::string(1, c), 1, 8);
    auto dropped = std::make_shared<qvzek::HMBVirtualMemoryManager>(proxy);
    EXPECT_TRUE(dropped->configure(layoutText(hmbElement(five)), kSig));
    EXPECT_EQ(dropped->blocks().size(), 4u);
    EXPECT_EQ(dropped->blocks().count("e"), 0u);
    EXPECT_EQ(dropped->entryCount(), 0x80000u);

    // A fixed block named like an HMB block keeps its place and adds its address.
    auto fixed = std::make_shared<qvzek::HMBVirtualMemoryManager>(proxy);
    EXPECT_TRUE(fixed->configure(
        layoutText(hmbElement(hmbBlock("a", 16, 8),
                              fixedBlock("a", 0x1000, 300) + fixedBlock("z", 0x2000, -999)) +
                   llbElement(131072, 64, "low")),
        kSig));
    EXPECT_EQ(fixed->blocks().at("a").size, 16u);
    EXPECT_EQ(fixed->blocks().at("a").fixedAddr, 0x1000u);
    EXPECT_EQ(fixed->blocks().at("a").baggage, static_cast<int8_t>(300 & 0xFF));
    EXPECT_EQ(fixed->blocks().at("z").baggage, -1);
    EXPECT_EQ(fixed->windowName(), "low");
}

TEST_F(HmbManager, BadLayoutsAreRefusedAndLeaveNothingBehind) {
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("a", 10, 12))); }),
              qvzek::kErrorBitfileUnsupported);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("a", 10, 8), "", 3)); }),
              qvzek::kErrorBitfileUnsupported);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("a", 10, 8), "", 2, 21)); }),
              qvzek::kErrorBitfileUnsupported);
    EXPECT_EQ(codeOf([&] { configure(llbElement(131072, 32)); }), qvzek::kErrorBitfileUnsupported);
    EXPECT_FALSE(configure(llbElement(131072, 64)));
    // Five entries, one of them empty, overfill the table.
    std::string five = hmbBlock("empty", 0, 8);
    for (char c = 'a'; c <= 'd'; ++c) five += hmbBlock(std::string(1, c), 1, 8);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(five)); }), qvzek::kErrorBitfileUnsupported);
    // A block of 4 GiB is no empty block: it cannot fit the 4 MiB region.
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("huge", 0x20000000, 64))); }),
              qvzek::kErrorBitfileUnsupported);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("big", 0x80001, 64))); }),
              qvzek::kErrorBitfileUnsupported);
    // Malformed text is the bitfile content error.
    EXPECT_EQ(codeOf([&] { manager->configure("<CompilationResults><Target", kSig); }),
              qvzek::kErrorBitfileContent);
    EXPECT_EQ(codeOf([&] { configure("<HMB><BufferIndexBits>2</BufferIndexBits></HMB>"); }),
              qvzek::kErrorBitfileContent);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("a", 1, 8)), "0123"); }),
              qverr::qvapalerr_invalidParameter);
    // None of these left a layout or a signature: another image configures.
    EXPECT_EQ(manager->entryCount(), 0u);
    EXPECT_TRUE(manager->blocks().empty());
    EXPECT_TRUE(configure(hmbElement(hmbBlock("a", 1, 8)), kSig2));
    EXPECT_FALSE(manager->configure("<CompilationResults/>", kSig));
}

TEST_F(HmbManager, OneParsePerSignatureAndOneLayoutAtATime) {
    const std::string text = hmbElement(hmbBlock("a", 1000, 64));
    EXPECT_TRUE(configure(text));
    EXPECT_TRUE(configure(text));
    EXPECT_EQ(manager->parseCount(), 1u);
    EXPECT_EQ(codeOf([&] { configure(hmbElement(hmbBlock("b", 1, 8)), kSig2); }),
              qvzek::kErrorBusy);
    EXPECT_EQ(manager->blocks().count("a"), 1u);
    EXPECT_EQ(manager->blocks().count("b"), 0u);
}

TEST_F(HmbManager, AnotherImageNeverMixesItsLayoutWithTheHeldOne) {
    EXPECT_TRUE(
        configure(hmbElement(hmbBlock("a", 1000, 64)) + llbElement(131072, 64, "held window")));
    // An image with only a low-latency window while the first one is held.
    EXPECT_TRUE(configure(llbElement(131072, 64, "other window"), kSig2));
    EXPECT_EQ(manager->windowName(), "held window");
    EXPECT_EQ(manager->blocks().count("a"), 1u);
    EXPECT_EQ(manager->entryCount(), 131072u);

    // Once released, a new layout comes whole: no window of the old image.
    manager->open();
    manager->close();
    EXPECT_TRUE(configure(hmbElement(hmbBlock("b", 1, 8)), kSig2));
    EXPECT_EQ(manager->windowName(), "");
    EXPECT_EQ(manager->blocks().count("a"), 0u);
}

TEST_F(HmbManager, RegionIsMappedByTheFirstOpenAndReleasedByTheLast) {
    EXPECT_EQ(codeOf([&] { manager->close(); }), qvzek::kErrorBusy);
    ASSERT_TRUE(configure(hmbElement(hmbBlock("a", 1000, 64) + hmbBlock("b", 8, 8))));
    manager->open();
    manager->open();
    ASSERT_NE(manager->regionAddress(), 0u);
    // The mapping is the device's region memory.
    auto* region = reinterpret_cast<uint8_t*>(manager->regionAddress());
    region[8000] = 0x5A;
    EXPECT_EQ(device.regionMemory(qvzek::kHmbRegion)[8000], 0x5A);

    uint64_t size = 0, address = 0;
    qvzek::HmbHandle lease;
    manager->attachBlock("b", &size, &address, &lease);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(address, manager->regionAddress() + 8000);
    EXPECT_EQ(manager->openCount(), 3u);
    lease.release(lease.context);
    EXPECT_EQ(manager->openCount(), 2u);

    manager->close();
    EXPECT_NE(manager->regionAddress(), 0u);
    manager->close();
    EXPECT_EQ(manager->regionAddress(), 0u);
    EXPECT_TRUE(manager->blocks().empty());
    // The signature went with the layout: the image is read again.
    EXPECT_TRUE(configure(hmbElement(hmbBlock("a", 1000, 64))));
    EXPECT_EQ(manager->parseCount(), 2u);
}

TEST_F(HmbManager, FixedBlocksAreAnnouncedInNameOrderAndAgainAfterAFailure) {
    ASSERT_TRUE(configure(hmbElement(hmbBlock("data", 8, 8),
                                     fixedBlock("b", 0xB000, 7) + fixedBlock("a", 0xA000, -2))));
    device.failNext("atomiczekddk_configuration.control", -50001, 1);
    EXPECT_EQ(codeOf([&] { manager->open(); }), -50001);
    // Not left mapped: the next open maps again and announces both.
    EXPECT_EQ(manager->openCount(), 0u);
    EXPECT_EQ(manager->regionAddress(), 0u);
    manager->open();
    const auto sent = announcements();
    ASSERT_EQ(sent.size(), 2u);
    uint64_t address = 0;
    ASSERT_EQ(sent[0].input.size(), 16u);
    EXPECT_EQ(sent[0].input[0], 1);
    EXPECT_EQ(static_cast<int8_t>(sent[0].input[1]), -2);
    std::memcpy(&address, sent[0].input.data() + 8, 8);
    EXPECT_EQ(address, 0xA000u);
    EXPECT_EQ(sent[1].input[0], 2);
    EXPECT_EQ(sent[1].input[1], 7);
    std::memcpy(&address, sent[1].input.data() + 8, 8);
    EXPECT_EQ(address, 0xB000u);
    manager->close();
}

TEST_F(HmbManager, RequestsByOperation) {
    ASSERT_TRUE(configure(hmbElement(hmbBlock("data", 1000, 64), fixedBlock("fixed", 0xA000, 1)) +
                          llbElement(131072, 64, "low")));
    uint64_t out[8] = {};
    // Operation `op` on the block or window `name` (none: no input).
    const auto ask = [&](uint32_t op, const char* name, size_t outSize = 16, bool flag = false) {
        uint64_t nameAddress = reinterpret_cast<uint64_t>(name);
        return codeOf([&] {
            manager->request(op, name ? &nameAddress : nullptr, name ? 8 : 0, out, outSize, flag);
        });
    };
    // Before the region is mapped there is no block to give.
    EXPECT_EQ(ask(2, "data"), qvzek::kErrorBusy);
    manager->open();
    EXPECT_EQ(ask(2, "data"), 0);
    EXPECT_EQ(out[0], 8000u);
    EXPECT_EQ(out[1], manager->regionAddress());
    EXPECT_EQ(manager->openCount(), 1u);
    EXPECT_EQ(ask(2, "fixed"), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(ask(2, "nothing"), qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(ask(6, nullptr), qvzek::kErrorNotSupported);
    EXPECT_EQ(ask(5, "low", 32), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(ask(2, "data", 16, true), qvzek::kErrorSessionRestricted);

    // Operation 4 hands out a region lease.
    EXPECT_EQ(ask(4, nullptr), 0);
    EXPECT_EQ(manager->openCount(), 2u);
    reinterpret_cast<void (*)(void*)>(out[1])(reinterpret_cast<void*>(out[0]));
    EXPECT_EQ(manager->openCount(), 1u);

    // Operation 5: the windows.
    EXPECT_EQ(ask(5, "low", 64), 0);
    EXPECT_EQ(out[0], 0x100000u);
    EXPECT_EQ(out[1], 4096u);
    EXPECT_TRUE(manager->window1MMapped());
    reinterpret_cast<void (*)(void*)>(out[6])(reinterpret_cast<void*>(out[4]));
    reinterpret_cast<void (*)(void*)>(out[7])(reinterpret_cast<void*>(out[5]));
    EXPECT_FALSE(manager->window1MMapped());
    EXPECT_FALSE(manager->window4kMapped());
    manager->close();
}

TEST_F(HmbManager, WindowsAreCountedPerUser) {
    ASSERT_FALSE(configure(llbElement(131072, 64, "low")));
    uint64_t size1M = 0, size4k = 0, address1M = 0, address4k = 0;
    qvzek::HmbHandle lease1M, lease4k, second1M, second4k;
    EXPECT_EQ(codeOf([&] {
                  manager->openWindows("high", &size1M, &address1M, &lease1M, &size4k, &address4k,
                                       &lease4k);
              }),
              qverr::qvapalerr_resourceNotFound);
    EXPECT_FALSE(manager->window4kMapped());
    manager->openWindows("low", &size1M, &address1M, &lease1M, &size4k, &address4k, &lease4k);
    manager->openWindows("low", &size1M, &address1M, &second1M, &size4k, &address4k, &second4k);
    EXPECT_EQ(size1M, 0x100000u);
    EXPECT_EQ(size4k, 4096u);
    lease1M.release(lease1M.context);
    lease4k.release(lease4k.context);
    EXPECT_TRUE(manager->window1MMapped());
    second1M.release(second1M.context);
    EXPECT_FALSE(manager->window1MMapped());
    EXPECT_TRUE(manager->window4kMapped());
    second4k.release(second4k.context);
    EXPECT_FALSE(manager->window4kMapped());

    // A 1 MiB window that cannot be mapped gives back the 4 KiB window's use.
    driver.failCall(qvsim::Call::mmap, ENOMEM, 2);
    EXPECT_NE(codeOf([&] {
                  manager->openWindows("low", &size1M, &address1M, &lease1M, &size4k, &address4k,
                                       &lease4k);
              }),
              0);
    EXPECT_FALSE(manager->window4kMapped());
    manager->openWindows("low", &size1M, &address1M, &lease1M, &size4k, &address4k, &lease4k);
    lease1M.release(lease1M.context);
    lease4k.release(lease4k.context);
}

}  // namespace
