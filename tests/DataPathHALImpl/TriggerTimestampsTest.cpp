// Trigger-timestamp settings and the exact arithmetic on timestamp words,
// through the shipped library on the simulated module.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "DataPathHALImpl/TimestampValue.h"
#include "DataPathHALImpl/datapathhalHandle.h"
#include "module/SimulatedModule.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

namespace {

using datapathhal::TriggerTimestampsInput;
using datapathhal::TriggerTimestampsOutput;
using datapathhal::TriggerTimestampsSettings;

#define TS_FN(name) library.fn<decltype(&name)>(#name)

constexpr uint64_t kTwoTo60 = uint64_t{1} << 60;
constexpr uint64_t kHalf = 0x80000000;  // a fraction word of 0.5

class Timestamps : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};

    datapathhal::DataPathSession make(uint32_t mode) {
        module.dataPath().triggerTimestampMode = mode;
        return datapathhal::DataPathSession(qvtest::openModuleProxy(module), 0);
    }
    TriggerTimestampsSettings* compute(datapathhal::DataPathSession& session, const TriggerTimestampsInput& input,
                                       TriggerTimestampsOutput& output) {
        TriggerTimestampsSettings* settings = nullptr;
        EXPECT_EQ(TS_FN(datapath_computeTriggerTimestampsSettings)(qvtest::handleOf(session), &input, &output,
                                                                   &settings),
                  0);
        return settings;
    }
};

TEST_F(Timestamps, WordCountsAndOffsetsFollowTheModeAndFlags) {
    auto mode1 = make(1);
    auto mode2 = make(2);
    struct Count {
        datapathhal::DataPathSession* session;
        uint8_t fractional, first;
        uint64_t words;
    };
    for (const Count& c : {Count{&mode2, 0, 0, 3}, Count{&mode2, 1, 0, 6}, Count{&mode1, 0, 1, 3},
                           Count{&mode1, 1, 1, 6}, Count{&mode1, 0, 0, 2}, Count{&mode1, 7, 0, 4}}) {
        TriggerTimestampsOutput output{};
        compute(*c.session, {0.0, 0, 0, 0, c.fractional, c.first}, output);
        EXPECT_EQ(output.wordCount, c.words) << int(c.fractional) << " " << int(c.first);
    }
    // The offsets selected, as multiples of the offset 1.25.
    using A = std::array<double, 4>;
    struct Offsets {
        datapathhal::DataPathSession* session;
        TriggerTimestampsInput input;
        A expected;
    };
    for (const Offsets& o : {Offsets{&mode2, {1.25, 1, 0, 1, 0, 0}, A{1, 0, 0, 1}},
                             Offsets{&mode2, {1.25, 0, 1, 0, 1, 0}, A{0, 1, 0, 0}},
                             Offsets{&mode1, {1.25, 0, 1, 0, 0, 0}, A{0, 0, 1, 0}},
                             Offsets{&mode2, {1.25, 0, 1, 0, 0, 0}, A{0, 1, 1, 0}},
                             Offsets{&mode1, {1.25, 0, 0, 0, 1, 1}, A{0, 0, 0, 0}}}) {
        TriggerTimestampsOutput output{};
        const TriggerTimestampsSettings* settings = compute(*o.session, o.input, output);
        A got{};
        for (int i = 0; i < 4; ++i) got[i] = sdihal::fixedPointToDouble(settings->offsets[i]) / 1.25;
        EXPECT_EQ(got, o.expected);
    }
}

TEST_F(Timestamps, ComputeCopiesTheInputAndApplySendsTheLastComputedBlock) {
    auto session = make(2);
    const uint64_t handle = qvtest::handleOf(session);
    TriggerTimestampsOutput output;
    std::memset(&output, 0xEE, sizeof output);
    TriggerTimestampsSettings* a = compute(session, {2.0, 1, 1, 1, 1, 1}, output);
    EXPECT_EQ(output.input.offset, 2.0);
    EXPECT_EQ(output.input.firstTimestampEnabled, 1);
    EXPECT_EQ(output.wordCount, 6u);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&output)[13], 0xEE);
    EXPECT_EQ(a->fractionalTimestamps, 1u);
    EXPECT_EQ(compute(session, {-3.0, 1, 0, 0, 0, 0}, output), a);
    module.decoder().clear();
    ASSERT_EQ(TS_FN(datapath_applyTriggerTimestampsSettings)(handle, a), 0);
    const auto request = module.decoder().last("datapath.applyTriggerTimestampsSettings");
    const auto sent = request->in("settings");
    ASSERT_EQ(sent.size(), 72u);
    sdihal::tFixedPointValue third;
    std::memcpy(&third, sent.data() + 48, sizeof third);
    EXPECT_EQ(sdihal::fixedPointToDouble(third), -3.0);
    uint32_t fractional = 7;
    std::memcpy(&fractional, sent.data() + 64, 4);
    EXPECT_EQ(fractional, 0u);
    EXPECT_EQ(TS_FN(datapath_destroyTriggerTimestampsSettings)(handle, a), 0);

    // Every pointer is required, before any request.
    module.decoder().clear();
    auto computeFn = TS_FN(datapath_computeTriggerTimestampsSettings);
    const TriggerTimestampsInput input{};
    TriggerTimestampsSettings* untouched = nullptr;
    const uint64_t words[6] = {};
    double out = 7.0;
    for (const int32_t code :
         {computeFn(handle, nullptr, &output, &untouched), computeFn(handle, &input, nullptr, &untouched),
          computeFn(handle, &input, &output, nullptr), TS_FN(datapath_applyTriggerTimestampsSettings)(handle, nullptr),
          TS_FN(datapath_destroyTriggerTimestampsSettings)(handle, nullptr),
          TS_FN(datapath_computeReferenceSampleTimestamp)(handle, nullptr, 2, &out, 1.0),
          TS_FN(datapath_computeReferenceSampleTimestamp)(handle, words, 2, nullptr, 1.0),
          TS_FN(datapath_computeReferenceTriggerCorrection)(handle, nullptr, 3, 0, &out, 1.0, 0.0),
          TS_FN(datapath_computeRelativeToFirstRecordT0)(handle, 0, nullptr, words, 3, &out, 0.0, 1.0),
          TS_FN(datapath_computeRelativeToFirstRecordT0)(handle, 0, words, nullptr, 3, &out, 0.0, 1.0),
          TS_FN(datapath_computeRelativeToFirstRecordT0)(handle, 0, words, words, 3, nullptr, 0.0, 1.0)}) {
        EXPECT_EQ(code, -52005);
    }
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(out, 7.0);
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(Timestamps, EveryWordLayoutDecodesAndLargeTickCountsDifferExactly) {
    auto session = make(2);
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
    EXPECT_EQ(session.computeReferenceSampleTimestamp(two, 2, 1.0), 15.0);
    EXPECT_EQ(session.computeReferenceSampleTimestamp(two, 5, 1.0), 15.0);
    EXPECT_EQ(session.computeReferenceTriggerCorrection(two, 2, 0, 1.0, 1.0), 0.0);

    // The exports hand the same results to the caller.
    double out = -1;
    ASSERT_EQ(TS_FN(datapath_computeReferenceSampleTimestamp)(qvtest::handleOf(session), six, 6, &out, 1.0), 0);
    EXPECT_EQ(out, 15.5);
    ASSERT_EQ(TS_FN(datapath_computeReferenceTriggerCorrection)(qvtest::handleOf(session), six, 6, 0x100, &out, 1.0,
                                                                0.25),
              0);
    EXPECT_EQ(out, 9.25);

    // Relative to the first record: firsts plus the offset, or thirds.
    const uint64_t firstRecord[] = {100, 0, 110, 0, 120, 0};
    const uint64_t record[] = {150, kHalf, 160, 0, 115, 0};
    ASSERT_EQ(TS_FN(datapath_computeRelativeToFirstRecordT0)(qvtest::handleOf(session), 0x101, firstRecord, record, 6,
                                                             &out, 0.25, 1.0),
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

TEST(TimestampValue, DifferencesOfNegativeTimesKeepTheirSign) {
    datapathhal::TimestampValue minusThree;
    minusThree.fromTime(-3.0);
    datapathhal::TimestampValue minusOne;
    minusOne.fromTime(-1.0);
    EXPECT_EQ((minusThree - minusOne).toTime(), -2.0);
    EXPECT_EQ((minusOne - minusThree).toTime(), 2.0);
    datapathhal::TimestampValue plusOne;
    plusOne.fromTime(1.0);
    EXPECT_EQ((minusOne - plusOne).toTime(), -2.0);
    EXPECT_EQ((plusOne - minusOne).toTime(), 2.0);
}

TEST(TimestampValue, TimesWithoutATickCountPassThrough) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double time : {nan, inf, -inf, 1e30, -1e30}) {
        datapathhal::TimestampValue value;
        value.fromTime(time);
        if (std::isnan(time)) {
            EXPECT_TRUE(std::isnan(value.toTime()));
        } else {
            EXPECT_EQ(value.toTime(), time);
        }
    }
    // A NaN period makes the periods unequal; the result is NaN, not a crash.
    datapathhal::TimestampValue a{5, 0.0, nan};
    const datapathhal::TimestampValue b{3, 0.0, nan};
    EXPECT_TRUE(std::isnan((a -= b).toTime()));
}

// Differences against a 128-bit integer reference: whole-tick words over the
// full 64-bit range, and ticks with 32-bit fractions a bounded distance apart.
TEST_F(Timestamps, MatchA128BitReferenceOnAMillionRandomStamps) {
    auto session = make(2);
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 500000; ++i) {
        const uint64_t words[] = {random(), random()};
        const double expected = static_cast<double>(static_cast<__int128>(words[1]) - static_cast<__int128>(words[0]));
        ASSERT_EQ(session.computeReferenceSampleTimestamp(words, 2, 1.0), expected) << words[0] << " " << words[1];
    }
    for (int i = 0; i < 500000; ++i) {
        // Far enough from both ends that base + delta does not wrap.
        const uint64_t base = (random() >> 1) + (uint64_t{1} << 40);
        const int64_t delta = static_cast<int64_t>(random() >> 24) - (int64_t{1} << 39);
        const uint64_t words[] = {base, random() & 0xFFFFFFFF, base + static_cast<uint64_t>(delta),
                                  random() & 0xFFFFFFFF};
        const __int128 second = (static_cast<__int128>(words[0]) << 32) + words[1];
        const __int128 third = (static_cast<__int128>(base) + delta) * (__int128{1} << 32) + words[3];
        const double expected = std::ldexp(static_cast<double>(third - second), -32);
        ASSERT_EQ(session.computeReferenceSampleTimestamp(words, 4, 1.0), expected) << base << " " << delta;
    }
}

}  // namespace
