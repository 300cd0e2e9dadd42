// The runner of calibration calls: a call that outlives its time-out
// leaves the caller, the runner and the next call untouched.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "SelfCalHALImpl/CalibrationLibrary.h"
#include "SelfCalHALImpl/SelfCalGate.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/TempDir.h"

namespace {

using selfcalhal::CalibrationTiming;
using selfcalhal::ExpandableThreadedTaskQueue;
using selfcalhal::SelfCalHAL;
using selfcalhal::SelfCalThreaded;
using namespace std::chrono_literals;

// Entry points of a library that the tests steer through these globals.
std::atomic<selfcaltest::Gate*> gBlockingGate{nullptr};
std::atomic<int> gCalls{0};

int32_t blockingCalibrate(const char*, const char*) {
    ++gCalls;
    return gBlockingGate.load()->pass() ? 99 : -1;
}

int32_t releasingCalibrate(const char*, const char*) {
    // Lets the earlier, timed-out call finish while this one still runs.
    gBlockingGate.load()->open();
    std::this_thread::sleep_for(50ms);
    return 7;
}

int32_t quickCalibrate(const char* resource, const char* configuration) {
    return std::string(resource) == "QV1" && std::string(configuration) == "c" ? 11 : -5;
}

int32_t quickStatus(char* text, int32_t size, void*) {
    if (size > 2) {
        text[0] = 'o';
        text[1] = 'k';
        text[2] = '\0';
    }
    return 0;
}

std::shared_ptr<SelfCalHAL> wrapperWith(void* calibrate, void* status = nullptr) {
    auto wrapper = std::make_shared<SelfCalHAL>();
    wrapper->setEntryPoint(1, calibrate);
    wrapper->setEntryPoint(5, status);
    return wrapper;
}

int32_t codeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const qverr::Exception& error) {
        return error.status.code;
    }
    return 0;
}

CalibrationTiming shortTiming(std::chrono::microseconds timeout) {
    CalibrationTiming timing;
    timing.initialPoll = 1ms;
    timing.maximumPoll = 20ms;
    timing.selfTestTimeout = timeout;
    timing.calibrationTimeout = timeout;
    return timing;
}

TEST(CalibrationRunner, RunsTheEntryPointOnTheQueueAndReturnsItsResult) {
    ExpandableThreadedTaskQueue queue(1);
    SelfCalThreaded runner(wrapperWith(reinterpret_cast<void*>(&quickCalibrate),
                                       reinterpret_cast<void*>(&quickStatus)),
                           queue, shortTiming(5s));
    EXPECT_EQ(runner.selfCalibrate("QV1", "c"), 11);
    EXPECT_EQ(runner.selfCalibrate("QV2", "c"), -5);
    char text[8] = "xxxxxxx";
    EXPECT_EQ(runner.kxDLLStatus(text, sizeof text, nullptr), 0);
    EXPECT_STREQ(text, "ok");
    // Entry points the library lacks are unsupported; no task is queued.
    EXPECT_EQ(runner.standaloneSelfCalibrate("QV1", "c"), qverr::qvapalerr_featureUnsupported);
    int32_t result = 0;
    EXPECT_EQ(runner.intermediateSelfTestDevice("QV1", &result, nullptr),
              qverr::qvapalerr_featureUnsupported);

    // The status entry point is the one the runner cannot do without.
    SelfCalThreaded bare(wrapperWith(reinterpret_cast<void*>(&quickCalibrate)), queue);
    const auto [code, json] =
        qvtest::thrownStatus([&] { bare.kxDLLStatus(text, sizeof text, nullptr); });
    EXPECT_EQ(code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_NE(
        json.find(
            "\"getCompatibleFuncPtr\":\"unable to locate callback\",\"symbol\":\"KXDLLStatus\""),
        std::string::npos)
        << json;
}

TEST(CalibrationRunner, ATimedOutCallNeitherCorruptsNorCompletesTheNextOne) {
    // The gates outlive the queue, whose destruction waits for the tasks.
    selfcaltest::Gate gate;
    selfcaltest::Gate second;
    ExpandableThreadedTaskQueue queue(1);
    gBlockingGate = &gate;
    auto runner = std::make_unique<SelfCalThreaded>(
        wrapperWith(reinterpret_cast<void*>(&blockingCalibrate)), queue, shortTiming(200ms));
    const auto start = std::chrono::steady_clock::now();
    const auto [code, json] = qvtest::thrownStatus([&] { runner->selfCalibrate("QV1", "c"); });
    EXPECT_EQ(code, qverr::qvapalerr_operationTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_NE(json.find("\"line\":585"), std::string::npos) << json;
    EXPECT_NE(json.find("\"component\":\"qv3377hal\""), std::string::npos) << json;

    // The next call on the same runner gets its own result, though the
    // late call finishes while it waits.
    auto next = std::make_unique<SelfCalThreaded>(
        wrapperWith(reinterpret_cast<void*>(&releasingCalibrate)), queue, shortTiming(5s));
    EXPECT_EQ(next->selfCalibrate("QV1", "c"), 7);

    // A runner destroyed while its call still runs: the call finishes into
    // state of its own (ASan watches).
    gBlockingGate = &second;
    EXPECT_EQ(codeOf([&] { runner->selfCalibrate("QV1", "c"); }),
              qverr::qvapalerr_operationTimedOut);
    runner.reset();
    second.open();
    EXPECT_EQ(next->selfCalibrate("QV1", "c"), 7);  // opens `second` again: harmless
}

int32_t briefCalibrate(const char*, const char*) {
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    return 1;
}

TEST(CalibrationRunner, ManySubmitTimeOutDestroyCyclesStayClean) {
    ExpandableThreadedTaskQueue queue(2);
    int timedOut = 0;
    int finished = 0;
    for (int i = 0; i < 1000; ++i) {
        auto runner = std::make_unique<SelfCalThreaded>(
            wrapperWith(reinterpret_cast<void*>(&briefCalibrate)), queue, shortTiming(100us));
        const int32_t code = codeOf([&] { EXPECT_EQ(runner->selfCalibrate("QV1", "c"), 1); });
        if (code == qverr::qvapalerr_operationTimedOut)
            ++timedOut;
        else if (code == 0)
            ++finished;
    }
    EXPECT_EQ(timedOut + finished, 1000);
    EXPECT_GT(timedOut, 0);
}

}  // namespace
