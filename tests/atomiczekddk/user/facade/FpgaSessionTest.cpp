// The FPGA session facade over real low-level sessions on a simulated FPGA
// device: the frame (no session, status already in error, exceptions
// below), open/close/clone, register packing on the bus, FIFO and control
// forwarding, bitfile queries.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "FacadeFixture.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/TempDir.h"

namespace qvtest {

using Facade = FacadeOnDevice;
using nQVAPALS100::tStatus;

// The code one facade call leaves in a fresh status.
template <class Call>
int64_t facadeCode(Call&& call) {
    tStatus status;
    call(status);
    return status.code;
}

// Each operation's -52010 before the open is checked through the binary table.
TEST_F(Facade, NeverOpenedReportsNotInitializedAndKeepsEarlierErrors) {
    qvzek::FpgaSession facade(nullptr, this);
    tStatus status;
    EXPECT_EQ(facade.readU32(0x8018, false, status), 0u);
    EXPECT_STREQ(status.component, "internal_");  // cut to the record's field
    EXPECT_STREQ(status.file, "atomiczekddk/user/session/FpgaSession");
    bool failed = true;
    EXPECT_EQ(facadeCode([&](tStatus& s) { facade.download(&failed, s); }),
              qverr::qvapalerr_resourceNotInitialized);
    EXPECT_TRUE(failed) << "left as the caller had it";

    tStatus earlier;
    earlier.setCode(-1234, "x", "y", 1);
    EXPECT_EQ(facade.clone(earlier), nullptr);
    EXPECT_FALSE(facade.queryNotSupported(1, 2, earlier));
    EXPECT_EQ(earlier.code, -1234);
}

// The whole mapping of exceptions to codes is the error handling's own test.
TEST_F(Facade, ExceptionsBelowBecomeTheStatusAndLeaveNoSession) {
    for (const auto& [failure, code] :
         std::initializer_list<std::pair<std::function<void()>, int64_t>>{
             {[] { qvzek::throwStatusCode(qvzek::kErrorBitfileContent); },
              qvzek::kErrorBitfileContent},
             {[] { throw 7; }, qverr::qvapalerr_softwareFaultAPALInternalUseOnly}}) {
        createFailure = failure;
        qvzek::FpgaSession facade(nullptr, this);
        EXPECT_EQ(facadeCode([&](tStatus& s) {
                      facade.open(sampleText().c_str(), kSampleSignature, qvzek::kOpenBitfileIsText,
                                  s);
                  }),
                  code);
        EXPECT_EQ(facade.implementation(), nullptr);
    }
}

// The conflicting attribute (-52005) is checked through the binary table.
TEST_F(Facade, OpenReplacesTheSessionOnlyOnSuccess) {
    qvzek::FpgaSession facade(nullptr, this);
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  facade.open(sampleText().c_str(), kSampleSignature,
                              0x20000000 | qvzek::kOpenBitfileIsText, s);
              }),
              0);
    qvzek::user::Session* first = facade.implementation();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(lastAttribute, 0x60000000u);
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  facade.open("/nonexistent/image.qvbit", kSampleSignature, 0, s);
              }),
              qvzek::kErrorBitfileUnreadable);
    EXPECT_EQ(facade.implementation(), first);

    TempDir dir;
    writeFile(dir / "sample.qvbit", sampleText());
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  facade.open((dir / "sample.qvbit").c_str(), kSampleSignature, 0, s);
              }),
              0);
    EXPECT_EQ(sessionsCreated, 2);
}

TEST_F(Facade, CloseAndClone) {
    // Close asks for reset on close unless bit 0 is set; an image without
    // reset support refuses it, but the facade is gone all the same.
    const std::string noReset = replacedOnce(sampleText(), "<AutoRunWhenDownloaded>",
                                             "<ResetNotSupported/><AutoRunWhenDownloaded>");
    for (uint32_t attribute : {0u, 1u}) {
        auto* facade = new qvzek::FpgaSession(nullptr, this);
        ASSERT_EQ(facadeCode([&](tStatus& s) {
                      facade->open(noReset.c_str(), kSampleSignature, qvzek::kOpenBitfileIsText, s);
                  }),
                  0);
        EXPECT_EQ(facadeCode([&](tStatus& s) { facade->close(attribute, s); }),
                  attribute == 0 ? qvzek::kErrorResetOnCloseUnsupported : 0);
    }
    EXPECT_EQ(facadeCode([&](tStatus& s) { (new qvzek::FpgaSession(nullptr, this))->close(0, s); }),
              0);

    FacadeOwner owner{opened()};
    tStatus status;
    FacadeOwner copy{static_cast<qvzek::FpgaSession*>(owner.facade->clone(status))};
    ASSERT_NE(copy.facade, nullptr);
    EXPECT_EQ(copy.facade->clone(status), nullptr);
    EXPECT_EQ(status.code, qvzek::kErrorNotSupported) << "no second generation";
}

TEST_F(Facade, ScalarRegistersTravelAsWordsAndHalvesHighFirst) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    tStatus status;
    device.setReg(0x8018, 0xFFFFFF80);
    EXPECT_EQ(f.readI8(0x8018, false, status), -128);
    EXPECT_EQ(f.readU16(0x8018, false, status), 0xFF80u);
    EXPECT_EQ(f.readBool(0x8018, false, status), 0x80u);
    f.writeSgl(0x8020, 1.5f, false, status);
    EXPECT_EQ(device.reg(0x8020), 0x3FC00000u);
    device.setReg(0x8040, 0x11223344);
    device.setReg(0x8044, 0x55667788);
    EXPECT_EQ(f.readU64(0x8040, false, status), 0x1122334455667788u);
    f.writeDbl(0x8040, 2.0, false, status);
    EXPECT_EQ(device.reg(0x8040), 0x40000000u);
    EXPECT_EQ(device.reg(0x8044), 0u);
    EXPECT_EQ(status.code, 0);

    // A checked access reads the status register after the value.
    device.setErrorBits(0x10);
    const size_t reads = count("atomiczekddk_io.read32");
    EXPECT_EQ(facadeCode([&](tStatus& s) { EXPECT_EQ(f.readU32(0x8018, true, s), 0u); }),
              qvzek::kErrorFpgaStatusFault);
    EXPECT_EQ(count("atomiczekddk_io.read32"), reads + 2);
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.readU32(0x8018, false, s); }), 0);
    EXPECT_EQ(count("atomiczekddk_io.read32"), reads + 3);
}

// Bool, 8- and 16-bit arrays are packed into 32-bit words, 64-bit values
// go high word first; word layouts worked out by hand.
TEST_F(Facade, ArrayRegistersPackAsTheBusExpects) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    struct Row {
        int width;
        std::vector<uint64_t> values;
        std::vector<uint32_t> words;
    };
    std::vector<uint64_t> bools32(32, 0), bools33(33, 0);
    bools32[0] = bools32[31] = bools33[0] = bools33[32] = 1;
    const Row rows[] = {
        {1, bools32, {0x80000001}},
        {1, bools33, {0x80000000, 0x80000000}},
        {8, {0xAA, 0xBB, 0xCC}, {0x00AABBCC}},
        {8, {1, 2, 3, 4, 5}, {0x01020304, 0x05000000}},
        {16, {0xBEEF}, {0x0000BEEF}},
        {16, {0x1111, 0x2222, 0x3333}, {0x11112222, 0x33330000}},
        {64,
         {0x0102030405060708, 0x1112131415161718},
         {0x01020304, 0x05060708, 0x11121314, 0x15161718}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.width << " bits, " << row.values.size() << " elements");
        const size_t n = row.values.size();
        std::vector<uint8_t> bytes(row.values.begin(), row.values.end());
        std::vector<uint16_t> halves(row.values.begin(), row.values.end());
        std::vector<uint64_t> back(row.values);
        tStatus status;
        const size_t singles = count("atomiczekddk_io.write32");
        switch (row.width) {
            case 1:
                f.writeArrayBool(0x8020, bytes.data(), n, false, status);
                break;
            case 8:
                f.writeArrayU8(0x8020, bytes.data(), n, false, status);
                break;
            case 16:
                f.writeArrayU16(0x8020, halves.data(), n, false, status);
                break;
            default:
                f.writeArrayU64(0x8020, back.data(), n, false, status);
        }
        // One word goes as a single register access, more as one block.
        EXPECT_EQ(count("atomiczekddk_io.write32"), singles + (row.words.size() == 1 ? 1 : 0));
        for (size_t i = 0; i < row.words.size(); ++i)
            EXPECT_EQ(device.reg(0x8020 + 4 * i), row.words[i]) << i;
        std::fill(bytes.begin(), bytes.end(), 0xEE);
        std::fill(halves.begin(), halves.end(), 0xEEEE);
        std::fill(back.begin(), back.end(), 0xEE);
        switch (row.width) {
            case 1:
                f.readArrayBool(0x8020, bytes.data(), n, false, status);
                break;
            case 8:
                f.readArrayU8(0x8020, bytes.data(), n, false, status);
                break;
            case 16:
                f.readArrayU16(0x8020, halves.data(), n, false, status);
                break;
            default:
                f.readArrayU64(0x8020, back.data(), n, false, status);
        }
        if (row.width == 1 || row.width == 8) back.assign(bytes.begin(), bytes.end());
        if (row.width == 16) back.assign(halves.begin(), halves.end());
        EXPECT_EQ(back, row.values);
        EXPECT_EQ(status.code, 0);
    }

    tStatus status;
    const int8_t signedBytes[2] = {-1, -2};
    f.writeArrayI8(0x8020, signedBytes, 2, false, status);
    EXPECT_EQ(device.reg(0x8020), 0x0000FFFEu) << "no sign extension into the other bytes";
    // A count of zero still moves one word.
    device.setReg(0x8030, 0xFFFFFFFF);
    f.writeArrayU16(0x8030, nullptr, 0, false, status);
    EXPECT_EQ(device.reg(0x8030), 0u);

    std::vector<uint8_t> big(16 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    f.writeArrayU8(0x10000, big.data(), big.size(), false, status);
    EXPECT_EQ(device.reg(0x10000), 0x00070E15u);
    std::vector<uint8_t> back(big.size());
    f.readArrayU8(0x10000, back.data(), back.size(), false, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(back, big);

    // Transfers the driver's 32-bit byte count cannot hold are refused
    // before anything is sent.
    const size_t blocks = count("atomiczekddk_io.blockRead");
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.readArrayU32(0x8020, nullptr, size_t{1} << 32, false, s); }),
        qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.readArrayU64(0x8020, nullptr, size_t{1} << 29, false, s); }),
        qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.readArrayU16(0x8020, nullptr, size_t{1} << 31, false, s); }),
        qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(count("atomiczekddk_io.blockRead"), blocks);
}

TEST_F(Facade, StoppedAutoRunImageTouchesNothing) {
    device.setNeverRuns(true);
    FacadeOwner owner{opened(qvzek::user::kOpenDoNotRun, true)};
    const size_t writes = count("atomiczekddk_io.write32");
    EXPECT_EQ(facadeCode([&](tStatus& s) { owner.facade->writeU32(0x8018, 5, false, s); }),
              qvzek::kErrorFpgaNotRunning);
    EXPECT_EQ(count("atomiczekddk_io.write32"), writes);
    int16_t* elements = reinterpret_cast<int16_t*>(8);
    size_t acquired = 9;
    uint8_t waited = 0;
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  owner.facade->acquireFifoReadElementsI16(2, &elements, 4, 0, &waited, &acquired,
                                                           nullptr, s);
              }),
              qvzek::kErrorFpgaNotRunning);
    EXPECT_EQ(elements, nullptr);
    EXPECT_EQ(acquired, 0u);
}

// Data through a FIFO is the session's own test; here the numbers and
// properties the facade checks.
TEST_F(Facade, FifoOperationsReachTheFifosByNumber) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    size_t remaining = 99;
    uint8_t waited = 0;
    uint32_t data[4] = {};
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.readFifoU32(7, data, 4, 0, &waited, &remaining, s); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(remaining, 0u);

    device.describeFifo(2, 2, 0);
    int16_t samples[8] = {};
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.readFifoI16(2, samples, 8, 1000, &waited, &remaining, s); }),
        0);
    EXPECT_EQ(samples[7], 7);
    EXPECT_LT(facadeCode([&](tStatus& s) { f.readFifoU32(2, data, 4, 0, &waited, nullptr, s); }), 0)
        << "the FIFO checks the descriptor against its own type";
    uint32_t value = 0;
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.setFifoProperty(2, 1, 5, &value, s); }),
              qvzek::kErrorNotSupported);

    // Bit 24 of the open attribute refuses the pointer properties.
    FacadeOwner restricted{opened(0x01000000)};
    void* pointer = nullptr;
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { restricted.facade->getFifoProperty(2, 1, 0, &pointer, s); }),
        qvzek::kErrorNotSupported);
}

TEST_F(Facade, BitfileQueries) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    uint32_t words[8] = {};
    size_t n = 3;
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.getSignature(words, &n, s); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(n, 4u);

    uint32_t number = 0;
    tStatus status;
    f.findRegister("Gain & Offset", 0xFFFFFFFF, &number, status);
    EXPECT_EQ(number, 0x80008018u) << "the address, with bit 31 for an access that may time out";
    f.findFifo("acq.fetch fifo 0", 0xFFFFFFFF, &number, status);
    EXPECT_EQ(number, 2u);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.findRegister("gain & offset", 0xFFFFFFFF, &number, s); }),
        qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(number, 0xFFFFFFFFu);
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.findFifo("acq.fetch fifo 0", 0, &number, s); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(number, 0u);
}

// Two registers of one name: neither is found.
TEST_F(Facade, DuplicateRegisterNamesAreNotFound) {
    uint32_t number = 0;
    qvzek::FpgaSession twice(nullptr, this);
    ASSERT_EQ(
        facadeCode([&](tStatus& s) {
            twice.open(
                replacedOnce(sampleText(), "<Name>Mode</Name>", "<Name>Samples</Name>").c_str(),
                kSampleSignature, qvzek::kOpenBitfileIsText, s);
        }),
        0);
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { twice.findRegister("Samples", 0xFFFFFFFF, &number, s); }),
        qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(number, 0xFFFFFFFFu);
}

// Run states, resets and interrupt waits are the session's own tests.
TEST_F(Facade, ControlForwarding) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    tStatus status;
    bool running = false;
    f.run(0, &running, status);
    EXPECT_TRUE(running);
    f.abort(status);
    EXPECT_EQ(f.getRunState(status), 3u);
    EXPECT_EQ(f.getBitfileValue(status), 3u);
    bool failed = true;
    f.download(&failed, status);
    EXPECT_FALSE(failed);
    EXPECT_EQ(status.code, 0);
    device.failNext("atomiczekddk_configuration.download", -61200);
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.download(&failed, s); }), -61200);
    EXPECT_TRUE(failed);

    f.reserveIrqContext(status);
    device.raiseIrqs(0x2);
    bool timedOut = true;
    EXPECT_EQ(f.waitOnIrqs(0x3, 1000, &timedOut, status), 0x2u);
    EXPECT_FALSE(timedOut);
    f.unreserveIrqContext(status);
    EXPECT_EQ(status.code, 0);
}

// Every output and handle the caller gives reaches the session as given,
// so the checks below see a null one.
TEST_F(Facade, CallerPointersReachTheSessionAsGiven) {
    FacadeOwner owner{opened()};
    auto& f = *owner.facade;
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.releaseFifoRegion(2, nullptr, s); }),
              qverr::qvapalerr_invalidParameter);

    bool running = true;
    device.setRunState(0);
    device.setNeverRuns(true);
    EXPECT_EQ(facadeCode([&](tStatus& s) { f.run(0, &running, s); }), qvzek::kErrorBusy);
    EXPECT_FALSE(running);
    device.setNeverRuns(false);

    // A sink mapped for a caller who cannot receive its address would stay
    // reserved with no way to use it.
    size_t size = 0;
    void* context = nullptr;
    void* release = nullptr;
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.mapP2PSink(1, nullptr, &size, &context, &release, s); }),
        qverr::qvapalerr_invalidParameter);
    void* address = nullptr;
    EXPECT_EQ(
        facadeCode([&](tStatus& s) { f.mapP2PSink(1, &address, nullptr, &context, &release, s); }),
        qverr::qvapalerr_invalidParameter);
    ASSERT_EQ(
        facadeCode([&](tStatus& s) { f.mapP2PSink(1, &address, &size, &context, &release, s); }),
        0);
    EXPECT_NE(address, nullptr);
    reinterpret_cast<qvzek::user::P2PSinkRelease>(release)(context, 1);
}

TEST_F(Facade, AHostMemoryLeaseTheCallerCannotReleaseIsNeverTaken) {
    qvzek::FpgaSession withMemory(nullptr, this);
    ASSERT_EQ(facadeCode([&](tStatus& s) {
                  withMemory.open(sampleText(hmbElement(hmbBlock("a", 1000, 64))).c_str(),
                                  kSampleSignature, qvzek::kOpenBitfileIsText, s);
              }),
              0);
    const uint32_t opens = fpga->hmbManager()->openCount();
    uint64_t size = 0, address = 0;
    void* release = nullptr;
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  withMemory.openHostMemoryBuffer("a", &size, &address, nullptr, &release, s);
              }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(fpga->hmbManager()->openCount(), opens);
}

TEST_F(Facade, AHostMemoryWindowLeaseTheCallerCannotReleaseIsNeverTaken) {
    qvzek::FpgaSession withWindows(nullptr, this);
    ASSERT_EQ(facadeCode([&](tStatus& s) {
                  withWindows.open(
                      sampleText(hmbElement(hmbBlock("a", 1000, 64)) + llbElement(131072, 64, "w"))
                          .c_str(),
                      kSampleSignature, qvzek::kOpenBitfileIsText, s);
              }),
              0);
    uint64_t size1M = 0, address1M = 0, size4k = 0, address4k = 0;
    void* context1M = nullptr;
    void* release1M = nullptr;
    void* context4k = nullptr;
    void* release4k = nullptr;
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  withWindows.openHostMemoryBufferRegion("w", &size1M, &address1M, &context1M,
                                                         &release1M, &size4k, &address4k,
                                                         &context4k, nullptr, s);
              }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_FALSE(fpga->hmbManager()->window4kMapped());
    EXPECT_FALSE(fpga->hmbManager()->window1MMapped());
    EXPECT_EQ(facadeCode([&](tStatus& s) {
                  withWindows.openHostMemoryBufferRegion("w", &size1M, &address1M, nullptr,
                                                         &release1M, &size4k, &address4k,
                                                         &context4k, &release4k, s);
              }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_FALSE(fpga->hmbManager()->window4kMapped());
    EXPECT_FALSE(fpga->hmbManager()->window1MMapped());
}

}  // namespace qvtest
