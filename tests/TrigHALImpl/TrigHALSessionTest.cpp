// The trig_ exports through the shipped library on the simulated module:
// each forward sends its request once with the caller's arguments; formats
// and the holdoff revision are read once; holdoff ticks are exact; trigger
// names resolve exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TrigHALImpl/TriggerIDs.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/DetailPair.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"
#include "support/ModuleProxy.h"
#include "support/TempDir.h"

namespace {

using trighal::HoldoffRequest;
using trighal::HoldoffSettings;

const std::vector<std::pair<const char*, int32_t>> kExpectedTriggerIds = {
    {"ao/0/StartTrigger", 1},
    {"ao/0/ScriptTrigger0", 2},
    {"ao/0/ScriptTrigger1", 3},
    {"ao/0/ScriptTrigger2", 4},
    {"ao/0/ScriptTrigger3", 5},
    {"ao/0/ConfigurationListStepTrigger", 6},
    {"ao/0/TimerStartTrigger", 7},
    {"ao/0/StartedEvent", 101},
    {"ao/0/DoneEvent", 102},
    {"ao/0/Marker0Event", 103},
    {"ao/0/Marker1Event", 104},
    {"ao/0/Marker2Event", 105},
    {"ao/0/Marker3Event", 106},
    {"ao/0/ConfigurationSettledEvent", 107},
    {"ao/0/TimerEvent", 108},
    {"ai/0/StartTrigger", -1},
    {"ai/0/ReferenceTrigger", -2},
    {"ai/0/RecordAdvanceTrigger", -3},
    {"ai/0/ConfigurationListStepTrigger", -4},
    {"ai/0/TimerStartTrigger", -5},
    {"ai/0/ReadyForStartEvent", -101},
    {"ai/0/ReadyForAdvanceEvent", -102},
    {"ai/0/ReadyForReferenceEvent", -103},
    {"ai/0/EndOfRecordEvent", -104},
    {"ai/0/DoneEvent", -105},
    {"ai/0/ConfigurationSettledEvent", -106},
    {"ai/0/TimerEvent", -107},
    {"ai/0/UserSource0", -110},
    {"ai/0/UserSource1", -111},
    {"ai/0/UserSource2", -112},
    {"ai/0/UserSource3", -113},
    {"ai/0/UserSource4", -114},
    {"ai/0/UserSource5", -115},
    {"ai/0/UserSource6", -116},
    {"ai/0/UserSource7", -117},
};

#define TRIG_FN(name) library.fn<decltype(&name)>(#name)

class TriggerSession : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    std::unique_ptr<qvtest::LibraryContext> context = newContext();
    uint64_t handle = context->handle();

    // The trigger context of a new device session, on the module as it is.
    std::unique_ptr<qvtest::LibraryContext> newContext() {
        return std::make_unique<qvtest::LibraryContext>(library, module, "ao/0", 10);
    }

    size_t count(const std::string& method) {
        size_t n = 0;
        for (const auto& request : module.decoder().requests()) n += request.name() == method;
        return n;
    }
    // The only request sent since the last clear.
    qvsim::DecodedRequest only(const std::string& method) {
        const auto requests = module.decoder().requests();
        EXPECT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests.empty() ? "" : requests[0].name(), method);
        module.decoder().clear();
        return requests.empty() ? qvsim::DecodedRequest{} : requests[0];
    }
    HoldoffSettings* compute(const HoldoffRequest& in, HoldoffRequest& out, int32_t expected = 0) {
        HoldoffSettings* settings = nullptr;
        EXPECT_EQ(TRIG_FN(trig_computeHoldoffSettings)(handle, &in, &out, &settings), expected);
        return settings;
    }
    void destroy(HoldoffSettings* settings) {
        EXPECT_EQ(TRIG_FN(trig_destroyHoldoffSettings)(handle, settings), 0);
    }
};

TEST_F(TriggerSession, ForwardsSendOneRequestWithTheCallersArguments) {
    const trighal::TriggerSettings settings{0x1122334455667788, 0x99AABBCCDDEEFF00, 0xCAFEF00D};
    ASSERT_EQ(TRIG_FN(trig_programTrigger)(handle, 0xFFFFFFFF, &settings), 0);
    auto request = only("trig.programTrigger");
    EXPECT_EQ(request.value("triggerId"), 0xFFFFFFFF);
    const auto sent = request.in("settings");
    ASSERT_EQ(sent.size(), 20u);
    EXPECT_EQ(std::memcmp(sent.data(), &settings, 20), 0);
    const trighal::MarkerBehavior behavior{0x0102030405060708};
    ASSERT_EQ(TRIG_FN(trig_programMarkerBehavior)(handle, 3, &behavior), 0);
    request = only("trig.programMarkerBehavior");
    EXPECT_EQ(request.value("markerId"), 3);
    EXPECT_EQ(request.get<uint64_t>("behavior"), 0x0102030405060708u);

    // Plain forwards stand for the rest: 64-bit values pass whole, ids keep
    // their sign, and an enable is sent as 0 or 1.
    ASSERT_EQ(TRIG_FN(trig_programTriggerDelay)(handle, 7, 0xFEDCBA9876543210), 0);
    request = only("trig.programTriggerDelay");
    EXPECT_EQ(request.value("triggerId"), 7);
    EXPECT_EQ(static_cast<uint64_t>(request.value("delay")), 0xFEDCBA9876543210u);
    ASSERT_EQ(TRIG_FN(trig_sendSoftwareTrigger)(handle, static_cast<uint32_t>(-105)), 0);
    EXPECT_EQ(static_cast<uint32_t>(only("trig.sendSoftwareTrigger").value("triggerId")),
              static_cast<uint32_t>(-105));
    ASSERT_EQ(TRIG_FN(trig_programSettledGatesReadyForAdvance)(handle, 5), 0);
    EXPECT_EQ(only("trig.programSettledGatesReadyForAdvance").value("enable"), 1);
}

TEST_F(TriggerSession, BadArgumentsAreRefusedBeforeAnyRequestAndDriverFailuresReturned) {
    HoldoffRequest in{};
    HoldoffSettings* settings = nullptr;
    for (const int32_t code :
         {TRIG_FN(trig_programTrigger)(handle, 1, nullptr),
          TRIG_FN(trig_computeHoldoffSettings)(handle, &in, nullptr, &settings),
          TRIG_FN(trig_sendSoftwareTrigger)(0, 1)}) {
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    }
    EXPECT_TRUE(module.decoder().requests().empty());
    qvtest::failRequests(module, "trig.sendSoftwareTrigger", -50150);
    EXPECT_EQ(TRIG_FN(trig_sendSoftwareTrigger)(handle, 1), -50150);
    EXPECT_EQ(count("trig.sendSoftwareTrigger"), 1u);
}

TEST_F(TriggerSession, OffsetsAndWidthsAreConvertedWithFormatsReadOnce) {
    // Signed, 16 bits, 8 of them integer: 1.5 is 384 (1.5 × 2^8).
    ASSERT_EQ(TRIG_FN(trig_programRFBlankingMarkerOffsetInDACSamples)(handle, 1.5), 0);
    ASSERT_EQ(TRIG_FN(trig_programRFUnblankingMarkerOffsetInDACSamples)(handle, -0.25), 0);
    const auto value = module.decoder()
                           .last("trig.programRFBlankingMarkerOffsetInDACSamples")
                           ->get<sdihal::tFixedPointValue>("offset");
    EXPECT_EQ(value.bits, 384u);
    EXPECT_TRUE(value.format.isSigned);
    EXPECT_EQ(value.format.wordLength, 16);
    EXPECT_EQ(
        sdihal::fixedPointToDouble(module.decoder()
                                       .last("trig.programRFUnblankingMarkerOffsetInDACSamples")
                                       ->get<sdihal::tFixedPointValue>("offset")),
        -0.25);
    EXPECT_EQ(count("trig.readRFBlankingMarkerOffsetFormat"), 1u);

    ASSERT_EQ(TRIG_FN(trig_programExportPulseWidth)(handle, 4, 65535), 0);
    const auto width = module.decoder().last("trig.programExportPulseWidth");
    EXPECT_EQ(width->value("signalId"), 4);
    EXPECT_EQ(width->get<sdihal::tFixedPointValue>("width").bits, 65535u);
}

TEST_F(TriggerSession, AFailedFormatReadIsReadAgainNextTime) {
    qvtest::failRequests(module, "trig.readRFUnblankingMarkerOffsetFormat", -50200);
    EXPECT_EQ(TRIG_FN(trig_programRFBlankingMarkerOffsetInDACSamples)(handle, 1.0), -50200);
    EXPECT_EQ(count("trig.programRFBlankingMarkerOffsetInDACSamples"), 0u);
    module.on("trig.readRFUnblankingMarkerOffsetFormat",
              [](const qvsim::DecodedRequest&, qvsim::Reply& reply) {
                  reply.setAs("format", sdihal::tFixedPointFormat{true, 16, 8});
                  return 0;
              });
    EXPECT_EQ(TRIG_FN(trig_programRFBlankingMarkerOffsetInDACSamples)(handle, 1.0), 0);
    EXPECT_EQ(count("trig.readRFBlankingMarkerOffsetFormat"), 2u);
    EXPECT_EQ(module.decoder()
                  .last("trig.programRFBlankingMarkerOffsetInDACSamples")
                  ->get<sdihal::tFixedPointValue>("offset")
                  .bits,
              256u);
}

// Revision 1 counts ticks beyond the minimum, later revisions from zero; the
// first flag alone enables both with zero ticks; a count above 2^63
// (2^63 + 2^12 ticks at one a second) converts exactly.
TEST_F(TriggerSession, HoldoffTicksFollowTheRevisionAndTheFlags) {
    constexpr double kHuge = 9223372036854779904.0;
    struct Case {
        uint32_t revision;
        HoldoffRequest in;
        uint64_t firstTicks, secondTicks;
        uint8_t firstEnable, secondEnable;
        double firstHoldoff, secondHoldoff;
    };
    const Case cases[] = {
        {1, {0.5e-6, 0.0, 1e-6, 0.0, 1e8, false, false}, 0, 0, 0, 0, 1e-6, 0.0},
        {1, {1.005e-6, 2e-6, 1e-6, 1e-6, 1e8, false, true}, 1, 100, 0, 0, 1.01e-6, 2e-6},
        {2, {1.005e-6, 3e-8, 0.0, 5e-8, 1e8, true, true}, 101, 5, 1, 1, 1.01e-6, 5e-8},
        {2, {1.005e-6, 3e-8, 0.0, 5e-8, 1e8, true, false}, 0, 0, 1, 1, 1.01e-6, 5e-8},
        {2, {kHuge, 0.0, 0.0, 0.0, 1.0, false, false}, 9223372036854779904u, 0, 0, 0, kHuge, 0.0},
    };
    for (uint32_t revision : {1u, 2u}) {
        module.trigger().holdoffRevision = revision;
        context = newContext();
        handle = context->handle();
        module.decoder().clear();
        for (const Case& c : cases) {
            if (c.revision != revision) continue;
            SCOPED_TRACE(c.in.firstHoldoff);
            HoldoffRequest out{};
            HoldoffSettings* settings = compute(c.in, out);
            ASSERT_NE(settings, nullptr);
            EXPECT_EQ(settings->firstTicks, c.firstTicks);
            EXPECT_EQ(settings->secondTicks, c.secondTicks);
            EXPECT_EQ(settings->firstEnable, c.firstEnable);
            EXPECT_EQ(settings->secondEnable, c.secondEnable);
            EXPECT_NEAR(out.firstHoldoff, c.firstHoldoff, c.firstHoldoff * 1e-12);
            if (c.secondTicks != 0) {
                EXPECT_NEAR(out.secondHoldoff, c.secondHoldoff, 1e-18);
            }
            EXPECT_EQ(out.firstMinimum, c.in.firstMinimum);
            EXPECT_EQ(out.tickRate, c.in.tickRate);
            EXPECT_EQ(out.secondFlag, c.in.secondFlag);
            destroy(settings);
        }
        EXPECT_EQ(count("trig.readHoldoffClockInfo"), 1u);
    }
}

TEST_F(TriggerSession, HoldoffInputsWithoutATickCountAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const HoldoffRequest refused[] = {{-1e-6, 0.0, 0.0, 0.0, 1e8, false, false},
                                      {0.0, 0.0, 0.0, nan, 1e8, false, false},
                                      {1e-6, 0.0, 0.0, 0.0, 0.0, false, false},
                                      {1e-6, 0.0, 0.0, 0.0, inf, false, false}};
    for (const auto& in : refused) {
        HoldoffRequest out{};
        out.firstHoldoff = 42.0;
        HoldoffSettings* settings = reinterpret_cast<HoldoffSettings*>(0x1);
        EXPECT_EQ(TRIG_FN(trig_computeHoldoffSettings)(handle, &in, &out, &settings),
                  qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(settings, reinterpret_cast<HoldoffSettings*>(0x1));
        EXPECT_EQ(out.firstHoldoff, 42.0);
    }
    EXPECT_TRUE(module.decoder().requests().empty());
    // 2^64 ticks and more don't fit the register.
    HoldoffRequest out{};
    compute({18446744073709551616.0, 0.0, 0.0, 0.0, 1.0, false, false}, out,
            qverr::qvapalerr_invalidParameter);
    compute({0.0, 1e300, 0.0, 0.0, 1e10, false, false}, out, qverr::qvapalerr_invalidParameter);
    // A failed revision read gives no settings.
    qvtest::failRequests(module, "trig.readHoldoffClockInfo", -50300);
    context = newContext();
    handle = context->handle();
    EXPECT_EQ(compute({1e-6, 0.0, 0.0, 0.0, 1e8, false, false}, out, -50300), nullptr);
}

TEST_F(TriggerSession, AppliedSettingsGoToTheDriverByteForByte) {
    HoldoffRequest out{};
    HoldoffSettings* settings = compute({2e-6, 3e-6, 0.0, 0.0, 1e9, true, true}, out);
    ASSERT_NE(settings, nullptr);
    module.decoder().clear();
    ASSERT_EQ(TRIG_FN(trig_applyHoldoffSettings)(handle, settings), 0);
    const auto request = only("trig.applyHoldoffSettings");
    const auto sent = request.in("settings");
    ASSERT_EQ(sent.size(), 32u);
    uint64_t firstTicks = 0;
    uint64_t secondTicks = 0;
    std::memcpy(&firstTicks, sent.data(), 8);
    std::memcpy(&secondTicks, sent.data() + 16, 8);
    EXPECT_EQ(firstTicks, 2000u);
    EXPECT_EQ(sent[8], 1);
    EXPECT_EQ(secondTicks, 3000u);
    EXPECT_EQ(sent[24], 1);
    destroy(settings);
}

// The trigger-name vocabulary, against the values of the module's
// documentation typed in above. (The terminal names and lists are checked
// through the routing session that uses them.)
TEST_F(TriggerSession, EveryNameGivesItsIdInStoredOrderAndOnlyExactNamesMatch) {
    auto getTriggerID = TRIG_FN(trig_getTriggerID);
    for (const auto& [name, id] : kExpectedTriggerIds) {
        int32_t out = 0;
        EXPECT_EQ(getTriggerID(handle, name, &out), 0) << name;
        EXPECT_EQ(out, id) << name;
    }
    size_t i = 0;
    for (; trighal::kTriggerNameToIDTable[i].name != nullptr; ++i) {
        ASSERT_LT(i, kExpectedTriggerIds.size());
        EXPECT_STREQ(trighal::kTriggerNameToIDTable[i].name, kExpectedTriggerIds[i].first);
    }
    EXPECT_EQ(i, 35u);
    EXPECT_EQ(trighal::kTriggerNameToIDTable[35].id, 0);

    int32_t out = 1234;
    for (const char* name :
         {"ao/0/starttrigger", "ao/0/StartTrigger ", "StartTrigger", "", "ai/0/UserSource8"})
        EXPECT_EQ(getTriggerID(handle, name, &out), qverr::qvapalerr_invalidParameter)
            << '"' << name << '"';
    EXPECT_EQ(getTriggerID(handle, nullptr, &out), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(getTriggerID(0, "ao/0/StartTrigger", &out), qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(out, 1234);
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(TriggerSession, RefusalsNameTheOperationAndWhatWasWrong) {
    trighal::TrigHALSession session{qvtest::openModuleProxy(module)};
    HoldoffRequest out{};
    qvtest::expectRefusals({
        // Name lookups fail with the location alone.
        {[&] { session.getTriggerID(nullptr); }, qverr::qvapalerr_invalidParameter, nullptr,
         nullptr},
        {[&] { session.getTriggerID("ao/0/starttrigger"); }, qverr::qvapalerr_invalidParameter,
         nullptr, nullptr},
        {[&] {
             session.computeHoldoffSettings({0.0, 0.0, 0.0, 0.0, 0.0, false, false}, out);
         },
         qverr::qvapalerr_invalidParameter, "computeHoldoffSettings",
         "tick rate is not a positive finite number"},
        {[&] {
             session.computeHoldoffSettings({-1e-6, 0.0, 0.0, 0.0, 1e8, false, false}, out);
         },
         qverr::qvapalerr_invalidParameter, "computeHoldoffSettings",
         "holdoff time is negative or not a number"},
        {[&] {
             session.computeHoldoffSettings({0.0, 1e300, 0.0, 0.0, 1e10, false, false}, out);
         },
         qverr::qvapalerr_invalidParameter, "computeHoldoffSettings",
         "holdoff time does not fit 64-bit ticks"},
    });
}

}  // namespace
