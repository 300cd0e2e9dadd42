// The self-calibration session over the calibration library stand-in and
// the run-time engine stand-in "libkxrt18.so" (a versioned engine whose
// module is not one the binding skips cleanup registration for).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "SelfCalHALImpl/SelfCalGate.h"
#include "SelfCalHALImpl/SelfCalHALSession.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvqrx3377cal/calsim.h"
#include "support/DetailPair.h"
#include "support/SelfProcess.h"
#include "support/TempDir.h"
#include "support/ThreadChecker.h"

extern "C" {
uint32_t kxrtsim_loadCount(void);
uint32_t kxrtsim_disposedCount(void);
uint32_t kxrtsim_cleanupRegistrations(void);
void kxrtsim_refuseCleanup(int32_t refuse);
int32_t kxrtsim_runCleanup(void);
void kxrtsim_setThreadId(uint32_t id);
}

namespace {

using namespace std::chrono_literals;
using selfcalhal::CalibrationTiming;
using selfcalhal::SelfCalHALSession;

const std::string kFull = QV_CAL_FULL;
const std::string kNoStandalone = QV_CAL_NOSTANDALONE;
const std::string kFullFolder = kFull.substr(0, kFull.rfind('/'));

CalibrationTiming quickTiming() {
    CalibrationTiming timing;
    timing.initialPoll = 1ms;
    timing.maximumPoll = 10ms;
    timing.selfTestTimeout = 10s;
    timing.calibrationTimeout = 10s;
    return timing;
}

// The code a call throws, and its JSON in *json.
template <class Call>
int32_t codeOf(Call&& call, std::string* json = nullptr) {
    auto [code, text] = qvtest::thrownStatus(call);
    if (json) *json = std::move(text);
    return code;
}

std::string lastConfiguration(int entry, std::string* resource = nullptr) {
    char name[256];
    char configuration[1024];
    calsim_lastCall(entry, name, sizeof name, configuration, sizeof configuration);
    if (resource) *resource = name;
    return configuration;
}

class SelfCalSession : public ::testing::Test {
protected:
    void SetUp() override { calsim_reset(); }
    SelfCalHALSession session{"QV1", "qv3377.qvimage", "", kFull, quickTiming()};
};

// The operations themselves are driven through the exports; here the texts
// and values the exports' test does not vary.
TEST_F(SelfCalSession, CalibrationsHandTheLibraryTheConfigurationText) {
    std::string resource;
    EXPECT_EQ(session.PEXA_SelfCalibrateRange("OnboardClock", 77, false, 1.5, -2, 3e9, 0.25, 250e6),
              0);
    EXPECT_EQ(lastConfiguration(calsim_pexaRange, &resource),
              "bitfileName:qv3377.qvimage,refClock:OnboardClock,");
    EXPECT_EQ(resource, "QV1");
    EXPECT_EQ(calsim_lastValue(calsim_pexaRange), 77u);
    const double doubles[] = {1.5, -2, 3e9, 0.25};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(calsim_lastDouble(calsim_pexaRange, i), doubles[i]) << i;
    for (const auto& [rate, text] :
         {std::pair<double, const char*>{1.0 / 3, "0.3333333333333333"}, {1e20, "1e+20"}}) {
        session.PEXG_SelfCalibrateRange("R", 1, true, 0, 0, 0, 0, rate);
        EXPECT_EQ(lastConfiguration(calsim_pexgRange),
                  std::string("bitfileName:qv3377.qvimage,refClock:R,iqRate:") + text + ",");
    }
    EXPECT_EQ(SelfCalHALSession("QV2", "b", "LO1", kFull, quickTiming())._buildConfigString("R"),
              "bitfileName:b,LO:LO1,refClock:R,");

    // A failure is raised with the library's code at the call; a warning
    // is returned.
    calsim_setResult(calsim_selfCalibrate, -200123);
    std::string json;
    EXPECT_EQ(codeOf([&] { session.selfCalibrate("R"); }, &json), -200123);
    EXPECT_NE(json.find("\"error_constant\":\"retCode\""), std::string::npos) << json;
    calsim_setResult(calsim_pexaRange, 5);
    EXPECT_EQ(session.PEXA_SelfCalibrateRange("R", 0, false, 0, 0, 0, 0, 0), 5);
    calsim_setResult(calsim_standalone, -3);
    EXPECT_EQ(codeOf([&] { session.standaloneSelfCalibrate(); }), -3);
}

TEST_F(SelfCalSession, ASelfTestMessageBecomesElaborationRecords) {
    const uint32_t disposed = kxrtsim_disposedCount();
    calsim_setSelfTest(-4, R"({"failures":[{"test":"LO lock","result":"failed"},)"
                           R"({"test":"no text","result":3},{"a":"x","b":"y","c":"z"}]})");
    calsim_setResult(calsim_selfTest, 0);
    qverr::Status status;
    status.code = 17;
    session.intermediateSelfTestDevice(&status);
    EXPECT_EQ(status.code, -4);  // the test's verdict replaces the old code
    EXPECT_EQ(kxrtsim_disposedCount(), disposed + 1);
    const std::string json = status.jsonText();
    EXPECT_NE(json.find(R"("translator":"mxlator_qv3377HAL")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("ordered_data":[{"type":"elaboration","usage":"LO lock"},)"
                        R"({"type":"elaboration","usage":": "},)"
                        R"({"type":"elaboration","usage":"failed"},{"type":"empty"},)"
                        R"({"type":"elaboration","usage":"x"},{"type":"elaboration","usage":": "},)"
                        R"({"type":"elaboration","usage":"y"},{"type":"empty"}])"),
              std::string::npos)
        << json;
}

TEST_F(SelfCalSession, AFailedSelfTestIsAFailureWithOrWithoutAMessage) {
    // With a JSON message: the code is returned and the records kept.
    calsim_setSelfTest(0, R"({"items":[{"k":"x","v":"y"}]})");
    calsim_setResult(calsim_selfTest, -300);
    qverr::Status status;
    std::string json;
    EXPECT_EQ(codeOf([&] { session.intermediateSelfTestDevice(&status); }, &json), -300);
    EXPECT_TRUE(qvtest::locationOnly(json)) << json;
    EXPECT_NE(std::string(status.jsonText()).find(R"({"type":"elaboration","usage":"x"})"),
              std::string::npos);

    // A message that is not JSON becomes one elaboration.
    calsim_setSelfTest(0, "reference clock missing");
    qverr::Status plain;
    EXPECT_EQ(codeOf([&] { session.intermediateSelfTestDevice(&plain); }), -300);
    EXPECT_NE(std::string(plain.jsonText())
                  .find(R"([{"type":"elaboration","usage":"reference clock missing"}])"),
              std::string::npos)
        << plain.jsonText();

    // A passing test with a non-JSON message adds nothing.
    calsim_setResult(calsim_selfTest, 0);
    calsim_setSelfTest(0, "all good");
    qverr::Status passed;
    session.intermediateSelfTestDevice(&passed);
    EXPECT_STREQ(passed.jsonText(), "");

    EXPECT_EQ(codeOf([&] { session.intermediateSelfTestDevice(nullptr); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

TEST_F(SelfCalSession, RefusalsNameTheRaisingClassAndWhatWasWrong) {
    SelfCalHALSession notReady("QV1", "b", "", kFull, quickTiming());
    SelfCalHALSession lacking("QV1", "b", "", kNoStandalone, quickTiming());
    CalibrationTiming brief = quickTiming();
    brief.calibrationTimeout = 20ms;
    SelfCalHALSession hurried("QV1", "b", "", kFull, brief);
    qverr::Status status;
    const char* const failed = "calibration entry point reported an error";
    qvtest::expectRefusals({
        {[&] {
             calsim_setResult(calsim_dllStatus, 3);
             notReady.selfCalibrate("R");
         },
         qverr::qvapalerr_softwareFaultAPALInternalUseOnly, "_getSelfCalThreaded",
         "engine status check failed"},
        {[&] {
             calsim_reset();
             calsim_setResult(calsim_selfCalibrate, -200123);
             session.selfCalibrate("R");
         },
         -200123, "SelfCalHALSession", failed},
        {[&] {
             calsim_setResult(calsim_selfTest, -300);
             session.intermediateSelfTestDevice(&status);
         },
         -300, nullptr, nullptr},
        {[&] { lacking.standaloneSelfCalibrate(); }, qverr::qvapalerr_featureUnsupported,
         "SelfCalHALSession", failed},
        {[&] { session.intermediateSelfTestDevice(nullptr); },
         qverr::qvapalerr_softwareFaultAPALInternalUseOnly, "SelfCalHALSession",
         "null status pointer"},
        {[&] {
             calsim_setDelayMs(calsim_standalone, 300);  // outlasts the 20 ms budget
             hurried.standaloneSelfCalibrate();
         },
         qverr::qvapalerr_operationTimedOut, "SelfCalThreaded",
         "calibration task did not finish in time"},
    });
}

TEST_F(SelfCalSession, ALibraryWithoutAnEntryPointLoadsAndRefusesOnlyThatOperation) {
    SelfCalHALSession lacking("QV1", "b", "", kNoStandalone, quickTiming());
    EXPECT_EQ(codeOf([&] { lacking.standaloneSelfCalibrate(); }),
              qverr::qvapalerr_featureUnsupported);
    EXPECT_EQ(calsim_calls(calsim_standalone), 0u);
    EXPECT_EQ(lacking.selfCalibrate("R"), 0);
    EXPECT_EQ(calsim_calls(calsim_selfCalibrate), 1u);
}

TEST_F(SelfCalSession, AMissingLibraryIsAnInvalidParameterWithTheLoadersDetail) {
    SelfCalHALSession missing("QV1", "b", "", "libqvqrx3377cal-absent.so", quickTiming());
    std::string json;
    EXPECT_EQ(codeOf([&] { missing.selfCalibrate("R"); }, &json),
              qverr::qvapalerr_invalidParameter);
    EXPECT_NE(json.find(R"("qvdynlib_debug":{"debug":"failed to qvdynlib_load library",)"
                        R"("path":"libqvqrx3377cal-absent.so"})"),
              std::string::npos)
        << json;
}

TEST_F(SelfCalSession, ALibraryNotReadyIsRefusedAndAskedAgainNextTime) {
    SelfCalHALSession fresh("QV1", "b", "", kFull, quickTiming());
    calsim_setResult(calsim_dllStatus, 3);
    EXPECT_EQ(codeOf([&] { fresh.selfCalibrate("R"); }),
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(calsim_calls(calsim_selfCalibrate), 0u);
    calsim_setResult(calsim_dllStatus, 0);
    EXPECT_EQ(fresh.selfCalibrate("R"), 0);
    EXPECT_EQ(fresh.selfCalibrate("R"), 0);
    EXPECT_EQ(calsim_calls(calsim_dllStatus), 2u);
}

TEST_F(SelfCalSession, TheLibraryAndTheEngineAreLoadedOncePerProcess) {
    ASSERT_EQ(session.selfCalibrate("R"), 0);
    const uint32_t registrations = kxrtsim_cleanupRegistrations();
    EXPECT_GE(registrations, 1u);  // libkxrt18.so is versioned and not skipped
    EXPECT_EQ(kxrtsim_loadCount(), 1u);
    SelfCalHALSession second("QV2", "b", "", kFull, quickTiming());
    EXPECT_EQ(second.selfCalibrate("R"), 0);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), registrations);
    EXPECT_EQ(kxrtsim_loadCount(), 1u);
}

TEST_F(SelfCalSession, ARefusedCleanupRegistrationIsASoftwareFault) {
    // Another name of the same file is another cache entry.
    SelfCalHALSession other("QV1", "b", "", kFullFolder + "/../full/libqvqrx3377cal.so",
                            quickTiming());
    kxrtsim_refuseCleanup(1);
    // Every call fails alike while the engine refuses, and none reaches
    // the library.
    for (int call = 0; call < 2; ++call) {
        std::string json;
        EXPECT_EQ(codeOf([&] { other.selfCalibrate("R"); }, &json),
                  qverr::qvapalerr_softwareFaultAPALInternalUseOnly)
            << call;
        EXPECT_NE(json.find(R"("registerCleanupProcCallback":"callback registration failed")"),
                  std::string::npos)
            << json;
    }
    EXPECT_EQ(calsim_calls(calsim_dllStatus), 0u);
    kxrtsim_refuseCleanup(0);
    // The library stays cached; the next call registers, and no later one.
    const uint32_t registrations = kxrtsim_cleanupRegistrations();
    EXPECT_EQ(other.selfCalibrate("R"), 0);
    EXPECT_EQ(other.selfCalibrate("R"), 0);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), registrations + 1);
}

TEST_F(SelfCalSession, OnAnEngineThreadTheLibrarysOwnImportRegisters) {
    SelfCalHALSession other("QV1", "b", "", kFullFolder + "/./libqvqrx3377cal.so", quickTiming());
    kxrtsim_setThreadId(5);
    const uint32_t registrations = kxrtsim_cleanupRegistrations();
    EXPECT_EQ(other.selfCalibrate("R"), 0);
    kxrtsim_setThreadId(0);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), registrations + 1);
}

// Last: it closes the cached libraries.
TEST_F(SelfCalSession, TheEnginesCleanupClosesAndForgetsTheCachedLibraries) {
    ASSERT_EQ(session.selfCalibrate("R"), 0);
    const uint32_t registrations = kxrtsim_cleanupRegistrations();
    EXPECT_EQ(kxrtsim_runCleanup(), 0);
    // A session made afterwards loads the library again instead of using
    // a closed handle.
    SelfCalHALSession later("QV1", "b", "", kFull, quickTiming());
    EXPECT_EQ(later.selfCalibrate("R"), 0);
    EXPECT_EQ(kxrtsim_cleanupRegistrations(), registrations + 1);
}

// A forked child that calibrates on the session it inherited is refused at
// once, as a handle of no session here is: the workers that would run the
// calibration are the parent's.
TEST_F(SelfCalSession, AForkedChildIsRefusedTheSessionItInherited) {
    ASSERT_EQ(session.selfCalibrate("R"), 0);
    const pid_t child = fork();
    if (child == 0) {
        std::string json;
        const int32_t code = codeOf([&] { session.standaloneSelfCalibrate(); }, &json);
        const bool named = json.find(qvtest::detailPair("ExpandableThreadedTaskQueue",
                                                        "session of another process: open one "
                                                        "in this process")) != std::string::npos;
        _exit(code == qverr::qvapalerr_invalidParameter && named ? 0 : 1);
    }
    // The calibration's own time-out is 10 s: well within the guard.
    EXPECT_EQ(qvtest::waitForExitWithin(child, 30s), 0);
    EXPECT_EQ(session.standaloneSelfCalibrate(), 0);  // the parent's session goes on
}

// A forked child that ends at once leaves the calibration state it
// inherited reachable: under the address checker, its leak check at exit
// finds nothing.
TEST_F(SelfCalSession, AForkedChildEndsAtOnceWithoutALeak) {
    ASSERT_EQ(session.selfCalibrate("R"), 0);
    constexpr bool kChildThreads = !qvtest::kThreadChecker;
    for (const bool calibrates : {false, kChildThreads}) {
        ASSERT_TRUE(qvtest::otherThreadsSettle(10s));
        const pid_t child = fork();
        if (child == 0) {
            if (calibrates) {
                SelfCalHALSession own("QV1", "b", "", kFull, quickTiming());
                if (own.selfCalibrate("R") != 0) _exit(3);
            }
            exit(0);
        }
        EXPECT_EQ(qvtest::waitForExitWithin(child, 30s), 0) << calibrates;
    }
}

}  // namespace
