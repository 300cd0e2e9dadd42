// The datapath_ exports through the shipped library on the simulated
// module: delays, status and the idle wait; trigger-timestamp settings and
// the exact arithmetic on timestamp words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "DataPathHALImpl/TimestampValue.h"
#include "DataPathHALImpl/datapathhalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/ModuleProxy.h"
#include "support/TempDir.h"

namespace {

#define DP_FN(name) library.fn<decltype(&name)>(#name)

class DataPath : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};

    std::vector<std::string> names() {
        std::vector<std::string> result;
        for (const auto& request : module.decoder().requests()) result.push_back(request.name());
        return result;
    }
    int64_t sent(const char* method, const char* field) {
        return module.decoder().last(method)->value(field);
    }
    double sentDelay(const char* method) {
        return sdihal::fixedPointToDouble(
            module.decoder().last(method)->get<sdihal::tFixedPointValue>("delay"));
    }
    // The data-path context of a new device session of the acquisition (0)
    // or generation (1) path, on the module as it is.
    std::unique_ptr<qvtest::LibraryContext> context(uint32_t path) {
        return std::make_unique<qvtest::LibraryContext>(library, module,
                                                        path == 0 ? "ai/0" : "ao/0", 0);
    }
};

TEST_F(DataPath, ConstructionReadsTheFormatsOfItsPath) {
    // Each path reads the formats of its own delays.
    datapathhal::DataPathSession acquisition(qvtest::openModuleProxy(module), 0);
    EXPECT_EQ(names().size(), 4u);
    EXPECT_EQ(acquisition.triggerTimestampMode(), 2u);
    module.decoder().clear();
    datapathhal::DataPathSession generation(qvtest::openModuleProxy(module), 1);
    EXPECT_EQ(sent("datapath.getAnalogFrontEndDelayFormat", "index"), 1);
    EXPECT_EQ(generation.triggerTimestampMode(), 1u);
    module.decoder().clear();

    EXPECT_EQ(qvtest::thrownStatus([&] {
                  datapathhal::DataPathSession(qvtest::openModuleProxy(module), 2);
              }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(module.decoder().requests().empty());
    qvtest::failRequests(module, "datapath.getTriggerTimestampOffsetFormat", -50700);
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  datapathhal::DataPathSession(qvtest::openModuleProxy(module), 0);
              }).first,
              -50700);
}

TEST_F(DataPath, DelaysAreConvertedWithTheirFormatsAndSentToTheirPath) {
    const auto acquisition = context(0);
    const auto generation = context(1);
    const uint64_t acq = acquisition->handle();
    const uint64_t gen = generation->handle();
    module.decoder().clear();
    // Signed 24 bits with 8 integer bits: 1.5 is 1.5 × 2^16.
    ASSERT_EQ(DP_FN(datapath_programAnalogFrontEndDelay)(gen, 1.5), 0);
    EXPECT_EQ(sent("datapath.programAnalogFrontEndDelay", "index"), 1);
    EXPECT_EQ(module.decoder()
                  .last("datapath.programAnalogFrontEndDelay")
                  ->get<sdihal::tFixedPointValue>("delay")
                  .bits,
              98304u);
    // Signed 20 bits with 12 integer bits: 2.0 is 2 × 2^8.
    ASSERT_EQ(DP_FN(datapath_programMarkerDelay)(gen, 2.0), 0);
    EXPECT_EQ(module.decoder()
                  .last("datapath.programMarkerDelay")
                  ->get<sdihal::tFixedPointValue>("delay")
                  .bits,
              512u);
    ASSERT_EQ(DP_FN(datapath_programPreRouteTriggerDelay)(acq, -0.5), 0);
    EXPECT_EQ(sentDelay("datapath.programPreRouteTriggerDelay"), -0.5);
    // Flags are the low byte only.
    ASSERT_EQ(DP_FN(datapath_programDSPIgnoreOverflow)(acq, 0x101), 0);
    EXPECT_EQ(sent("datapath.programDSPIgnoreOverflow", "flag"), 1);
    ASSERT_EQ(DP_FN(datapath_programDataDelay)(acq, 0xFFFFFFFF), 0);
    EXPECT_EQ(sent("datapath.programDataDelay", "delay"), 0xFFFFFFFF);
    const uint8_t messages[16] = {1, 2, 3};
    ASSERT_EQ(DP_FN(datapath_sendMessages)(gen, messages, 4), 0);
    EXPECT_EQ(static_cast<uint64_t>(sent("datapath.sendMessages", "messages")),
              reinterpret_cast<uint64_t>(messages));
    EXPECT_EQ(sent("datapath.sendMessages", "count"), 4);
    EXPECT_EQ(sent("datapath.sendMessages", "index"), 1);
    // Only the front-end delay and the messages name their path.
    EXPECT_THROW(module.decoder().last("datapath.programMarkerDelay")->in("index"),
                 std::out_of_range);
}

TEST_F(DataPath, ReadsReplaceTheCallersValuesOnlyOnSuccess) {
    auto& path = module.dataPath().paths[0];
    path.groupDelay = {0x180, {false, 16, 8}};
    path.pfi0Delay = {~uint64_t{0}, {true, 16, 16}};
    path.minimumDataDelay = 4;
    path.maximumDataDelay = 4000;
    const auto session = context(0);
    const uint64_t handle = session->handle();
    double delay = 0;
    ASSERT_EQ(DP_FN(datapath_readDSPGroupDelay)(handle, &delay), 0);
    EXPECT_EQ(delay, 1.5);
    ASSERT_EQ(DP_FN(datapath_getPFI0FpgaDelay)(handle, &delay), 0);
    EXPECT_EQ(delay, -1.0);
    uint32_t minimum = 5, maximum = 6;
    ASSERT_EQ(DP_FN(datapath_readDataDelayRange)(handle, &minimum, &maximum), 0);
    EXPECT_EQ(minimum, 4u);
    EXPECT_EQ(maximum, 4000u);

    // A failed reply that still carries values: the caller's stay.
    module.on("datapath.readDSPGroupDelay", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.setAs("delay", sdihal::tFixedPointValue{7, {false, 8, 8}});
        reply.status(-50701);
        return 0;
    });
    module.on("datapath.readDataDelayRange", [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
        reply.set("minimum", 1);
        reply.status(-50702);
        return 0;
    });
    delay = 42.0;
    EXPECT_EQ(DP_FN(datapath_readDSPGroupDelay)(handle, &delay), -50701);
    EXPECT_EQ(delay, 42.0);
    EXPECT_EQ(DP_FN(datapath_readDataDelayRange)(handle, &minimum, &maximum), -50702);
    EXPECT_EQ(minimum, 4u);
}

TEST_F(DataPath, StatusFlagsAreReportedOnceAndClearedByName) {
    auto& path = module.dataPath().paths[1];
    path.statusFlags = {1, 0, 1, 0, 1, 1};
    path.statusContext[0] = 0x1111;
    path.statusContext[1] = 0x2222;
    const auto session = context(1);
    const uint64_t handle = session->handle();
    datapathhal::DataPathStatusWithContext withContext{};
    ASSERT_EQ(DP_FN(datapath_checkStatusWithContext)(handle, &withContext), 0);
    EXPECT_EQ(std::vector<uint8_t>(withContext.flags, withContext.flags + 6),
              (std::vector<uint8_t>{1, 0, 1, 0, 1, 1}));
    EXPECT_EQ(withContext.firstContext, 0x1111u);
    EXPECT_EQ(withContext.secondContext, 0x2222u);
    datapathhal::DataPathStatus status{{9, 9, 9, 9, 9}};
    ASSERT_EQ(DP_FN(datapath_checkStatus)(handle, &status), 0);
    EXPECT_EQ(std::vector<uint8_t>(status.flags, status.flags + 5), (std::vector<uint8_t>(5, 0)));

    path.statusFlags = {1, 1, 1, 1, 1, 0};
    const datapathhal::DataPathStatus clear{{1, 0, 0, 0, 1}};  // by name: flag 5 is not cleared
    ASSERT_EQ(DP_FN(datapath_clearStatus)(handle, &clear), 0);
    EXPECT_EQ(path.statusFlags, (std::array<uint8_t, 6>{0, 1, 1, 1, 0, 0}));

    qvtest::failRequests(module, "datapath.checkStatus", -50703);
    status = {{9, 9, 9, 9, 9}};
    EXPECT_EQ(DP_FN(datapath_checkStatus)(handle, &status), -50703);
    EXPECT_EQ(status.flags[0], 9);
}

TEST_F(DataPath, NullOutputsAreRefusedBeforeAnyRequest) {
    const auto session = context(0);
    const uint64_t handle = session->handle();
    module.decoder().clear();
    uint32_t value = 0;
    for (const int32_t code :
         {DP_FN(datapath_clearStatus)(handle, nullptr),
          DP_FN(datapath_readDataDelayRange)(handle, &value, nullptr),
          DP_FN(datapath_isDone)(handle, nullptr), DP_FN(datapath_waitForDone)(0)}) {
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    }
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(DataPath, WaitForDoneReturnsAfterTheReadThatShowsIdleOrTimesOut) {
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    const auto exported = context(0);
    const uint64_t handle = exported->handle();
    module.dataPath().paths[0].readsUntilIdle = 4;
    module.dataPath().paths[0].doneReads = 0;
    module.decoder().clear();
    ASSERT_EQ(DP_FN(datapath_waitForDone)(handle), 0);
    EXPECT_EQ(names(), std::vector<std::string>(5, "datapath.isDone"));
    uint8_t done = 0;
    ASSERT_EQ(DP_FN(datapath_isDone)(handle, &done), 0);
    EXPECT_EQ(done, 1);

    module.dataPath().paths[0].readsUntilIdle = -1;
    const auto [code, json] =
        qvtest::thrownStatus([&] { session.waitForDone(std::chrono::milliseconds(1)); });
    EXPECT_EQ(code, qvmxl::kErrorOperationTimedOut);
    EXPECT_THAT(json, ::testing::HasSubstr("Waiting For Device To Transition To Idle"));
    // The export's own budget is a few milliseconds.
    EXPECT_EQ(DP_FN(datapath_waitForDone)(handle), qvmxl::kErrorOperationTimedOut);
    qvtest::failRequests(module, "datapath.isDone", -50704);
    module.decoder().clear();
    EXPECT_EQ(DP_FN(datapath_waitForDone)(handle), -50704);
    EXPECT_EQ(names().size(), 1u);
}

TEST_F(DataPath, RefusalsNameTheRaisingOperationAndWhatWasWrong) {
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    module.dataPath().paths[0].readsUntilIdle = -1;
    qvtest::expectRefusals({
        {[&] { datapathhal::DataPathSession(qvtest::openModuleProxy(module), 2); },
         qverr::qvapalerr_invalidParameter, "DataPathSession",
         "data-path index is neither 0 nor 1"},
        {[&] { session.waitForDone(std::chrono::milliseconds(1)); }, qvmxl::kErrorOperationTimedOut,
         "waitForDone", "data path did not become idle in time"},
    });
}

using datapathhal::TriggerTimestampsInput;
using datapathhal::TriggerTimestampsOutput;
using datapathhal::TriggerTimestampsSettings;

constexpr uint64_t kTwoTo60 = uint64_t{1} << 60;
constexpr uint64_t kHalf = 0x80000000;  // a fraction word of 0.5

class Timestamps : public DataPath {
protected:
    datapathhal::DataPathSession make(uint32_t mode) {
        module.dataPath().triggerTimestampMode = mode;
        return datapathhal::DataPathSession(qvtest::openModuleProxy(module), 0);
    }
    // The acquisition's data-path context in the library, in that mode.
    std::unique_ptr<qvtest::LibraryContext> makeContext(uint32_t mode) {
        module.dataPath().triggerTimestampMode = mode;
        return context(0);
    }
    TriggerTimestampsSettings* compute(uint64_t handle, const TriggerTimestampsInput& input,
                                       TriggerTimestampsOutput& output) {
        TriggerTimestampsSettings* settings = nullptr;
        EXPECT_EQ(
            DP_FN(datapath_computeTriggerTimestampsSettings)(handle, &input, &output, &settings),
            0);
        return settings;
    }
};

TEST_F(Timestamps, WordCountsAndOffsetsFollowTheModeAndFlags) {
    const auto mode1Context = makeContext(1);
    const auto mode2Context = makeContext(2);
    const uint64_t mode1 = mode1Context->handle();
    const uint64_t mode2 = mode2Context->handle();
    struct Count {
        uint64_t session;
        uint8_t fractional, first;
        uint64_t words;
    };
    for (const Count& c : {Count{mode2, 0, 0, 3}, Count{mode2, 1, 0, 6}, Count{mode1, 0, 1, 3},
                           Count{mode1, 1, 1, 6}, Count{mode1, 0, 0, 2}, Count{mode1, 7, 0, 4}}) {
        TriggerTimestampsOutput output{};
        compute(c.session, {0.0, 0, 0, 0, c.fractional, c.first}, output);
        EXPECT_EQ(output.wordCount, c.words) << int(c.fractional) << " " << int(c.first);
    }
    // The offsets selected, as multiples of the offset 1.25.
    using A = std::array<double, 4>;
    struct Offsets {
        uint64_t session;
        TriggerTimestampsInput input;
        A expected;
    };
    for (const Offsets& o : {Offsets{mode2, {1.25, 1, 0, 1, 0, 0}, A{1, 0, 0, 1}},
                             Offsets{mode2, {1.25, 0, 1, 0, 1, 0}, A{0, 1, 0, 0}},
                             Offsets{mode1, {1.25, 0, 1, 0, 0, 0}, A{0, 0, 1, 0}},
                             Offsets{mode2, {1.25, 0, 1, 0, 0, 0}, A{0, 1, 1, 0}},
                             Offsets{mode1, {1.25, 0, 0, 0, 1, 1}, A{0, 0, 0, 0}}}) {
        TriggerTimestampsOutput output{};
        const TriggerTimestampsSettings* settings = compute(o.session, o.input, output);
        A got{};
        for (int i = 0; i < 4; ++i)
            got[i] = sdihal::fixedPointToDouble(settings->offsets[i]) / 1.25;
        EXPECT_EQ(got, o.expected);
    }
}

TEST_F(Timestamps, ComputeCopiesTheInputAndApplySendsTheLastComputedBlock) {
    const auto session = makeContext(2);
    const uint64_t handle = session->handle();
    TriggerTimestampsOutput output;
    std::memset(&output, 0xEE, sizeof output);
    TriggerTimestampsSettings* a = compute(handle, {2.0, 1, 1, 1, 1, 1}, output);
    EXPECT_EQ(output.input.offset, 2.0);
    EXPECT_EQ(output.input.firstTimestampEnabled, 1);
    EXPECT_EQ(output.wordCount, 6u);
    EXPECT_EQ(a->fractionalTimestamps, 1u);
    EXPECT_EQ(compute(handle, {-3.0, 1, 0, 0, 0, 0}, output), a);
    module.decoder().clear();
    ASSERT_EQ(DP_FN(datapath_applyTriggerTimestampsSettings)(handle, a), 0);
    const auto request = module.decoder().last("datapath.applyTriggerTimestampsSettings");
    const auto sent = request->in("settings");
    ASSERT_EQ(sent.size(), 72u);
    sdihal::tFixedPointValue third;
    std::memcpy(&third, sent.data() + 48, sizeof third);
    EXPECT_EQ(sdihal::fixedPointToDouble(third), -3.0);
    uint32_t fractional = 7;
    std::memcpy(&fractional, sent.data() + 64, 4);
    EXPECT_EQ(fractional, 0u);
    EXPECT_EQ(DP_FN(datapath_destroyTriggerTimestampsSettings)(handle, a), 0);

    // Every pointer is required, before any request.
    module.decoder().clear();
    const TriggerTimestampsInput input{};
    TriggerTimestampsSettings* untouched = nullptr;
    const uint64_t words[6] = {};
    double out = 7.0;
    EXPECT_EQ(DP_FN(datapath_computeTriggerTimestampsSettings)(handle, &input, nullptr, &untouched),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(DP_FN(datapath_computeRelativeToFirstRecordT0)(handle, 0, words, nullptr, 3, &out,
                                                             0.0, 1.0),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(out, 7.0);
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(Timestamps, EveryWordLayoutDecodesAndLargeTickCountsDifferExactly) {
    auto session = make(2);
    const auto exported = makeContext(2);
    const uint64_t words[] = {kTwoTo60, kTwoTo60 + 2};
    EXPECT_DOUBLE_EQ(session.computeReferenceSampleTimestamp(words, 2, 7e-9), 1.4e-8);
    const uint64_t earlier[] = {kTwoTo60 + 2, kTwoTo60};
    EXPECT_DOUBLE_EQ(session.computeReferenceSampleTimestamp(earlier, 2, 7e-9), -1.4e-8);
    // Ticks and halves: (5 + 0.5) - (3 + 0.0) at 2^60, and with a borrow.
    const uint64_t fractions[] = {kTwoTo60 + 3, 0, kTwoTo60 + 5, kHalf};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(fractions, 4, 1.0), 2.5);
    const uint64_t borrow[] = {kTwoTo60 + 3, kHalf, kTwoTo60 + 5, 0};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(borrow, 4, 1.0), 1.5);

    // 6: first, second, third with fractions; 3: whole ticks; 4: second and
    // third with fractions; 2 and any count not listed: second and third.
    const uint64_t six[] = {10, kHalf, 20, 0, 35, kHalf};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(six, 6, 1.0), 15.5);
    EXPECT_EQ(session.computeReferenceTriggerCorrection(six, 6, 0, 1.0, 0.25), 9.25);
    const uint64_t three[] = {10, 20, 35};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(three, 3, 1.0), 15.0);
    EXPECT_EQ(session.computeReferenceTriggerCorrection(three, 3, 0, 1.0, 1.0), 9.0);
    const uint64_t four[] = {20, kHalf, 35, 0};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(four, 4, 1.0), 14.5);
    EXPECT_EQ(session.computeReferenceTriggerCorrection(four, 4, 0, 1.0, 1.0), 0.0);
    const uint64_t two[] = {20, 35, 99, 99, 99};
    EXPECT_EQ(session.computeReferenceSampleTimestamp(two, 5, 1.0), 15.0);

    // The export hands the result to the caller; flags are the low byte.
    double out = -1;
    ASSERT_EQ(DP_FN(datapath_computeReferenceTriggerCorrection)(exported->handle(), six, 6, 0x100,
                                                                &out, 1.0, 0.25),
              0);
    EXPECT_EQ(out, 9.25);

    // Relative to the first record: firsts plus the offset, or thirds.
    const uint64_t firstRecord[] = {100, 0, 110, 0, 120, 0};
    const uint64_t record[] = {150, kHalf, 160, 0, 115, 0};
    ASSERT_EQ(DP_FN(datapath_computeRelativeToFirstRecordT0)(exported->handle(), 0x101, firstRecord,
                                                             record, 6, &out, 0.25, 1.0),
              0);
    EXPECT_EQ(out, 50.75);
    EXPECT_EQ(session.computeRelativeToFirstRecordT0(0, firstRecord, record, 6, 0.25, 1.0), -5.0);

    // Mode 1 computes only the trigger correction.
    auto mode1 = make(1);
    EXPECT_EQ(mode1.computeReferenceSampleTimestamp(six, 6, 1.0), 0.0);
    EXPECT_EQ(mode1.computeRelativeToFirstRecordT0(1, six, six, 6, 3.0, 1.0), 0.0);
    EXPECT_EQ(mode1.computeReferenceTriggerCorrection(six, 6, 1, 1.0, 100.0), 25.0);
    EXPECT_EQ(mode1.computeReferenceTriggerCorrection(six, 6, 0, 1.0, 100.0), 9.5);
}

TEST(TimestampValue, NegativeTimesKeepTheirSignAndHugeOnesPassThrough) {
    const auto at = [](double time) {
        datapathhal::TimestampValue value;
        value.fromTime(time);
        return value;
    };
    EXPECT_EQ((at(-3.0) - at(-1.0)).toTime(), -2.0);
    EXPECT_EQ((at(1.0) - at(-1.0)).toTime(), 2.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(std::isnan(at(nan).toTime()));
    for (double time : {-inf, 1e30}) EXPECT_EQ(at(time).toTime(), time);
    // A NaN period makes the periods unequal; the result is NaN, not a crash.
    datapathhal::TimestampValue a{5, 0.0, nan};
    const datapathhal::TimestampValue b{3, 0.0, nan};
    EXPECT_TRUE(std::isnan((a -= b).toTime()));
}

// Differences against a 128-bit integer reference: whole-tick words over the
// full 64-bit range, and ticks with 32-bit fractions a bounded distance apart.
TEST_F(Timestamps, MatchA128BitReferenceOnRandomStamps) {
    auto session = make(2);
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 200000; ++i) {
        const uint64_t words[] = {random(), random()};
        const double expected =
            static_cast<double>(static_cast<__int128>(words[1]) - static_cast<__int128>(words[0]));
        ASSERT_EQ(session.computeReferenceSampleTimestamp(words, 2, 1.0), expected)
            << words[0] << " " << words[1];
    }
    for (int i = 0; i < 200000; ++i) {
        // Far enough from both ends that base + delta does not wrap.
        const uint64_t base = (random() >> 1) + (uint64_t{1} << 40);
        const int64_t delta = static_cast<int64_t>(random() >> 24) - (int64_t{1} << 39);
        const uint64_t words[] = {base, random() & 0xFFFFFFFF, base + static_cast<uint64_t>(delta),
                                  random() & 0xFFFFFFFF};
        const __int128 second = (static_cast<__int128>(words[0]) << 32) + words[1];
        const __int128 third =
            (static_cast<__int128>(base) + delta) * (__int128{1} << 32) + words[3];
        const double expected = std::ldexp(static_cast<double>(third - second), -32);
        ASSERT_EQ(session.computeReferenceSampleTimestamp(words, 4, 1.0), expected)
            << base << " " << delta;
    }
}

}  // namespace
