// The traditional session on the simulated device: the open sequence of
// attribute requests, the open commit, block transfers and FIFO reads with
// their outputs on failure.
#include <gtest/gtest.h>

#include <vector>

#include "FacadeFixture.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "support/TempDir.h"

namespace qvtest {

class Traditional : public FacadeOnDevice {
protected:
    TempDir dir;
    const std::string path = dir / "traditional_sample.qvbit";
    std::unique_ptr<qvzek::FpgaSessionTraditional> session;

    void SetUp() override {
        FacadeOnDevice::SetUp();
        device.setAttribute(1, 7);
        device.setAttribute(48, 0);
        device.setAttribute(84, 0);
        session = createTraditionalSession(nullptr);
        writeFile(path, sampleText());
    }

    void getString(uint32_t id) {
        nQVAPALS100::tStatus status;
        char buffer[64];
        session->getStringAttribute(id, buffer, sizeof buffer, nullptr, status);
    }
    uint32_t getU32(uint32_t id, int64_t* code = nullptr) {
        nQVAPALS100::tStatus status;
        const uint32_t value = session->getU32Attribute(id, status);
        if (code != nullptr) *code = status.code;
        return value;
    }
    int64_t setU32(uint32_t id, uint32_t value) {
        nQVAPALS100::tStatus status;
        session->setU32Attribute(id, value, status);
        return status.code;
    }
    // The attribute requests that open a traditional session; `interloper`
    // (when not 0) is read in the middle.
    void openSequence(uint32_t interloper = 0) {
        getString(6);
        setU32(23, 2);
        getString(1);
        getU32(58);
        if (interloper != 0) getU32(interloper);
        getU32(48);
    }
    void openSession() {
        nQVAPALS100::tStatus status;
        session->setStringAttribute(14, path.c_str(), status);
        openSequence();
        ASSERT_EQ(setU32(23, 4), 0);
        ASSERT_EQ(session->mode(), 2u);
    }
};

TEST_F(Traditional, OpenSequenceReachesModeOneAndAnInterloperResetsIt) {
    nQVAPALS100::tStatus status, wait;
    session->read32(0x8018, status);
    EXPECT_EQ(status.code, qvzek::kErrorNotSupported);
    session->waitOnIrqs(1, 0, wait);
    EXPECT_EQ(wait.code, qvzek::kErrorTraditionalMode);

    openSequence(7);
    EXPECT_EQ(session->mode(), 0u);
    openSequence();
    EXPECT_EQ(session->mode(), 1u);
    EXPECT_EQ(getU32(36), 1u);
    EXPECT_EQ(getU32(81), 0u);
    EXPECT_EQ(getU32(45), 0xFFFFFFFFu);
    int64_t code = 0;
    getU32(3, &code);
    EXPECT_EQ(code, qvzek::kErrorAttributeNotServed);
    EXPECT_EQ(setU32(45, 1), qvzek::kErrorBitfileUnsupported);
    EXPECT_EQ(getU32(45), 1u);
    // The commit needs a path.
    EXPECT_EQ(setU32(23, 4), qvzek::kErrorNoBitfilePath);
    EXPECT_EQ(session->mode(), 1u);
    EXPECT_EQ(sessionsCreated, 0);
}

TEST_F(Traditional, OpenCommitOpensTheStoredPath) {
    nQVAPALS100::tStatus status;
    session->setU32Attribute(87, 0x10, status);
    openSession();
    EXPECT_EQ(sessionsCreated, 1);
    EXPECT_EQ(lastAttribute, 0x81000010u);
    device.setReg(0x8018, 0x1234);
    EXPECT_EQ(session->read32(0x8018, status), 0x1234u);
    EXPECT_EQ(status.code, 0);

    const size_t sent = count("atomiczekddk_io.blockRead");
    uint32_t words[2] = {};
    nQVAPALS100::tStatus badWidth, tooLarge;
    session->readBlock(0x8018, 2, reinterpret_cast<uintptr_t>(words), 3, badWidth);
    EXPECT_EQ(badWidth.code, qverr::qvapalerr_invalidParameter);
    session->readBlock(0x8018, 0xFFFFFFFF, reinterpret_cast<uintptr_t>(words), 8, tooLarge);
    EXPECT_EQ(tooLarge.code, qverr::qvapalerr_invalidParameter)
        << "32 GiB would wrap the driver's 32-bit byte count";
    EXPECT_EQ(count("atomiczekddk_io.blockRead"), sent);
    device.setReg(0x801C, 0x12345678);
    session->readBlock(0x8018, 2, reinterpret_cast<uintptr_t>(words), 4, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(words[0], 0x1234u);
    EXPECT_EQ(words[1], 0x12345678u);
}

TEST_F(Traditional, FifoReadCountsElementsOnlyWhenDone) {
    openSession();
    device.describeFifo(2, 2, 0);
    device.setProduceLimit(2, 0);
    nQVAPALS100::tStatus status;
    uint64_t depth = 0;
    session->configureFifo(2, 4096, &depth, 0, status);
    session->startFifo(2, status);
    ASSERT_EQ(status.code, 0);

    const uint32_t i16 = 2, unknown = 9;
    int16_t samples[4] = {};
    uint32_t done = 99, remaining = 99;
    nQVAPALS100::tStatus timedOut, badType, read;
    session->readFifo(2, reinterpret_cast<uintptr_t>(samples), 4, &i16, 10, &done, &remaining,
                      timedOut);
    EXPECT_EQ(timedOut.code, qvzek::kErrorFifoTimedOut);
    EXPECT_EQ(done, 0u);
    done = 99;
    session->readFifo(2, reinterpret_cast<uintptr_t>(samples), 4, &unknown, 10, &done, nullptr,
                      badType);
    EXPECT_EQ(badType.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(done, 0u);

    device.setProduceLimit(2, 4);
    session->readFifo(2, reinterpret_cast<uintptr_t>(samples), 4, &i16, 1000, &done, &remaining,
                      read);
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(samples[3], 3);
}

}  // namespace qvtest
