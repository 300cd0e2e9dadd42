// The FIFO and interrupt bindings over the FPGA interface library stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "qverr/Codes.h"
#include "qvfpga/QvFpgaSim.h"
#include "qvisl/FifoFpgaHw.h"
#include "support/FpgaLibraryLog.h"
#include "support/NamedCodes.h"
#include "support/RaiseSite.h"

namespace {

using nQVAPALS100::tStatus;

std::vector<std::string> log() {
    return qvtest::fpgaLibraryLog();
}

class Bindings : public ::testing::Test {
protected:
    void SetUp() override {
        qvfpgasim_reset();
        qvfpgasim_declareFifo("u8", 1, 64);
        qvfpgasim_declareFifo("i16", 2, 64);
        qvfpgasim_declareFifo("u64", 8, 64);
        qvfpgasim_declareFifo("i64", 8, 64);
        ASSERT_EQ(QvFpgaDll_Open("/b.qvimage", nullptr, "Dev1", qvisl::kOpenFromPath, &session), 0);
        qvfpgasim_clearLog();
    }
    void TearDown() override { qvfpgasim_reset(); }

    uint32_t fifo(const char* name) {
        uint32_t number = 99;
        EXPECT_EQ(QvFpgaDll_FindFifoPrivate(session, name, qvisl::kResourceTypeAny, &number), 0);
        return number;
    }

    // Moves four elements FPGA-to-host and host-to-FPGA through the binding
    // and returns the library functions it called.
    template <class T>
    std::vector<std::string> roundTrip(const char* name) {
        qvisl::FifoFpgaHw<T> binding(session, fifo(name));
        const T sent[4] = {T(1), T(-2), T(3), T(-4)};
        qvfpgasim_pushFifo(session, name, sent, sizeof sent);
        qvfpgasim_clearLog();
        tStatus status;
        T received[4] = {};
        size_t remaining = 99;
        binding.read(received, 4, 0, &remaining, status);
        EXPECT_EQ(std::memcmp(received, sent, sizeof sent), 0);
        EXPECT_EQ(remaining, 0u);
        binding.write(sent, 4, 0, &remaining, status);
        T back[4] = {};
        EXPECT_EQ(qvfpgasim_popFifo(session, name, back, sizeof back), sizeof back);
        EXPECT_EQ(std::memcmp(back, sent, sizeof sent), 0);

        T* elements = nullptr;
        size_t acquired = 0;
        binding.acquireWriteElements(&elements, 2, 0, &acquired, &remaining, status);
        EXPECT_EQ(acquired, 2u);
        if (elements) elements[0] = T(7), elements[1] = T(8);
        binding.releaseElements(2, status);
        binding.acquireReadElements(&elements, 2, 0, &acquired, &remaining, status);
        EXPECT_EQ(elements ? elements[1] : T(0), T(8));
        binding.releaseElements(2, status);
        EXPECT_EQ(status.getCode(), 0);
        std::vector<std::string> functions;
        for (const std::string& line : log()) functions.push_back(line.substr(0, line.find(' ')));
        return functions;
    }

    uint32_t session = 0;
};

TEST_F(Bindings, EachElementTypeCallsItsTypedFunctions) {
    auto expected = [](const std::string& t) {
        return std::vector<std::string>{"QvFpgaDll_ReadFifo" + t,
                                        "QvFpgaDll_WriteFifo" + t,
                                        "QvFpgaDll_AcquireFifoWriteElements" + t,
                                        "QvFpgaDll_ReleaseFifoElements",
                                        "QvFpgaDll_AcquireFifoReadElements" + t,
                                        "QvFpgaDll_ReleaseFifoElements"};
    };
    EXPECT_EQ(roundTrip<unsigned char>("u8"), expected("U8"));
    EXPECT_EQ(roundTrip<short>("i16"), expected("I16"));
    EXPECT_EQ(roundTrip<unsigned long>("u64"), expected("U64"));
    EXPECT_EQ(roundTrip<long>("i64"), expected("I64"));
}

TEST_F(Bindings, ResultsGoIntoTheStatusWithTheBindingsLocation) {
    qvisl::FifoFpgaHw<short> binding(session, fifo("i16"));
    tStatus status;
    short data[2] = {};
    binding.read(data, 2, 0, nullptr, status);  // nothing there: the library's time-out
    EXPECT_EQ(status.getCode(), QVFPGASIM_TIMED_OUT);
    EXPECT_STREQ(status.component, "internal_");  // cut to 9 characters
    EXPECT_EQ(qvtest::raiseSite(status), "qvisl/FifoFpgaHw.cpp:286");

    // A warning is kept and lets later calls run; a later error replaces it.
    tStatus warned;
    qvfpgasim_injectResult("QvFpgaDll_StartFifo", 33, 1);
    binding.start(warned);
    EXPECT_EQ(warned.getCode(), 33);
    EXPECT_EQ(warned.line, 44u);
    EXPECT_EQ(qvfpgasim_fifoStarted(session, "i16"), 1);
    binding.configure(0, nullptr, warned);
    EXPECT_EQ(warned.getCode(), QVFPGASIM_INVALID);
    EXPECT_EQ(warned.line, 27u);
}

TEST_F(Bindings, AnErrorAlreadyPresentMeansNoCallAndZeroResults) {
    qvisl::FifoFpgaHw<unsigned long> binding(session, fifo("u64"));
    tStatus clean;
    binding.setPropertyU64(5, 77, clean);
    EXPECT_EQ(binding.getPropertyU64(5, clean), 77u);
    binding.setPropertyPtr(6, &clean, clean);
    EXPECT_EQ(binding.getPropertyPtr(6, clean), &clean);
    ASSERT_EQ(clean.getCode(), 0);

    tStatus failed;
    failed.setCode(-1, "x", "y", 1);
    qvfpgasim_clearLog();
    EXPECT_EQ(binding.getPropertyU64(5, failed), 0u);
    EXPECT_EQ(binding.getPropertyPtr(6, failed), nullptr);
    EXPECT_EQ(binding.getPropertyI32(5, failed), 0);
    EXPECT_EQ(binding.getPeerToPeerEndpoint(failed), 0u);
    unsigned long data[1] = {};
    binding.read(data, 1, 0, nullptr, failed);
    binding.restart(failed);
    binding.commitConfiguration(failed);
    EXPECT_EQ(qvfpgasim_logCount(), 0u);
    EXPECT_EQ(failed.getCode(), -1);
}

TEST_F(Bindings, ARestartWhoseStopFailsDoesNotStart) {
    qvisl::FifoFpgaHw<unsigned char> binding(session, fifo("u8"));
    qvfpgasim_injectResult("QvFpgaDll_StopFifo", -61000, 1);
    tStatus status;
    binding.restart(status);
    EXPECT_EQ(status.getCode(), -61000);
    EXPECT_EQ(status.line, 35u);
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_StartFifo"), 0u);

    tStatus again;
    binding.restart(again);
    EXPECT_EQ(again.getCode(), 0);
    EXPECT_EQ(qvfpgasim_fifoStarted(session, "u8"), 1);
}

TEST_F(Bindings, RegionsNeedTheKorvexVariant) {
    qvisl::FifoFpgaHw<unsigned char> binding(session, fifo("u8"));
    tStatus status;
    uint32_t reference = 0;
    binding.acquireReadRegion(&reference, nullptr, 0, nullptr, 0, status);
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_featureUnsupported);
    EXPECT_EQ(status.line, 529u);
    tStatus write;
    binding.acquireWriteRegion(&reference, nullptr, 0, nullptr, 0, write);
    EXPECT_EQ(write.line, 544u);
}

TEST_F(Bindings, KorvexFifoRefusesDataWhileItsPropertyIsSet) {
    qvisl::KxFifoFpgaHw<unsigned char> binding(session, fifo("u8"));
    const unsigned char sent[2] = {5, 6};
    qvfpgasim_pushFifo(session, "u8", sent, sizeof sent);
    tStatus set;
    binding.setPropertyU64(8, 1, set);
    tStatus status;
    unsigned char data[2] = {};
    binding.read(data, 2, 0, nullptr, status);
    EXPECT_EQ(status.getCode(), qvisl::kErrorKxFifoPending);
    EXPECT_STREQ(status.component, "qv3377hal");
    EXPECT_EQ(qvtest::raiseSite(status), "qvisl/KxFifoFpgaHw.cpp:219");
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_ReadFifoU8"), 0u);

    binding.setPropertyU64(8, 0, set);
    tStatus clear;
    binding.read(data, 2, 0, nullptr, clear);
    EXPECT_EQ(clear.getCode(), 0);
    EXPECT_EQ(data[1], 6);
}

TEST_F(Bindings, KorvexRegionsWithoutTheLibraryReportItsLoadFailure) {
    if (std::getenv("QV_TEST_KORVEX_LIBRARY")) GTEST_SKIP() << "libQvFpgaKx.so is on the path";
    qvisl::KxFifoFpgaHw<unsigned char> binding(session, fifo("u8"));
    tStatus status;
    uint32_t reference = 0;
    binding.acquireReadRegion(&reference, nullptr, 0, nullptr, 0, status);
    EXPECT_EQ(status.getCode(), qverr::qvapalerr_invalidParameter);
    EXPECT_STREQ(status.file, "qvdynlib/qvdynlib.cpp");
}

TEST_F(Bindings, KorvexRegionsWithKorvexLibraryPassTheirArguments) {
    if (!std::getenv("QV_TEST_KORVEX_LIBRARY")) GTEST_SKIP() << "libQvFpgaKx.so is not on the path";
    qvisl::KxFifoFpgaHw<unsigned char> binding(session, fifo("u8"));
    tStatus status;
    uint32_t reference = 0;
    int out = 0;
    binding.acquireWriteRegion(&reference, &status, 12, &out, 1ull << 40, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(reference, 0x4B580000u);
    const auto lines = log();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "QvFpgaKx_AcquireFifoWriteRegionScalar session=" + std::to_string(session) +
                  " fifo=0 data=set a=5 b=8 value=12 out=set value64=1099511627776");
}

TEST_F(Bindings, InterruptWaitsEndOnAnInterruptOrTheTimeLimit) {
    tStatus status;
    qvisl::IRQContextFpgaHw context(session, status);
    ASSERT_EQ(status.getCode(), 0);
    uint32_t asserted = 0;
    bool timedOut = false;
    context.waitOnIrqs(0x4, 10, &asserted, &timedOut, status);
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(asserted, 0u);

    std::thread raiser([this] { qvfpgasim_raiseIrqs(session, 0x6); });
    context.waitOnIrqs(0x4, 10000, &asserted, &timedOut, status);
    raiser.join();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(asserted, 0x4u);
    context.acknowledgeIrqs(0x4, status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_EQ(qvfpgasim_reservedIrqContexts(), 1u);
}

TEST_F(Bindings, WaitsWithoutAnInterruptContextFail) {
    qvfpgasim_injectResult("QvFpgaDll_ReserveIrqContext", -52031, 1);
    tStatus reserve;
    {
        qvisl::IRQContextFpgaHw context(session, reserve);
        EXPECT_EQ(reserve.getCode(), qverr::qvapalerr_resourceBusy);
        EXPECT_EQ(qvtest::raiseSite(reserve), "qvisl/IRQContextFpgaHw.cpp:12");
        tStatus wait;
        bool timedOut = true;
        context.waitOnIrqs(1, 0, nullptr, &timedOut, wait);
        EXPECT_EQ(wait.getCode(), qverr::qvapalerr_resourceNotInitialized);
        EXPECT_EQ(wait.line, 38u);
        tStatus acknowledge;
        context.acknowledgeIrqs(1, acknowledge);
        EXPECT_EQ(acknowledge.getCode(), qverr::qvapalerr_resourceNotInitialized);
        EXPECT_EQ(acknowledge.line, 51u);
        EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_WaitOnIrqs"), 0u);
    }
    EXPECT_EQ(qvfpgasim_callCount("QvFpgaDll_UnreserveIrqContext"), 0u);

    // A failed wait still reports the flag.
    tStatus status;
    qvisl::IRQContextFpgaHw context(session, status);
    qvfpgasim_injectResult("QvFpgaDll_WaitOnIrqs", -61001, 1);
    bool timedOut = true;
    context.waitOnIrqs(1, 0, nullptr, &timedOut, status);
    EXPECT_EQ(status.getCode(), -61001);
    EXPECT_FALSE(timedOut);
}

// Typed in from the definition, so a wrong constant cannot agree with itself.
TEST(BindingCodes, EveryNamedCodeHasItsAgreedValue) {
    qvtest::expectAgreedValues({QV_NAMED_CODE(qvisl::kErrorKxFifoPending, -1074101584)});
}

}  // namespace
