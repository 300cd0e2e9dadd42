// The Syntra synchronization session over the simulated module: its three
// kinds of module, the order and stopping of its requests, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

#include "SessionFixture.h"
#include "qverr/Codes.h"
#include "support/DetailPair.h"

namespace {

using qvsim::SimulatedModule;
using syntrasynchal::SyntraSyncSession;
using syntrasynctest::makeSession;
using syntrasynctest::thrownStatus;
using syntrasynctest::wholeValue;

size_t requestsOf(SimulatedModule& module, const char* name) {
    size_t count = 0;
    for (const auto& request : module.decoder().requests()) count += request.name() == name;
    return count;
}

TEST(SyntraSyncSession, AnFTDCModuleMeasuresWithItsConfiguration) {
    SimulatedModule module;
    auto& block = module.syntraSync();
    block.ftdcStart = wholeValue(10);
    block.ftdcStop = wholeValue(10);
    block.ftdcCoarseCount = 2;
    auto session = makeSession(module);
    ASSERT_EQ(session->measurementType(), 0u);

    double seconds = -1.0;
    const auto [code, json] =
        thrownStatus([&] { session->readSyntraMeasurement(0, &seconds, 8e-7); });
    EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    EXPECT_NE(json.find("\"SyntraSyncSession\":\"_syntraDivisor is not greater than 0\""),
              std::string::npos);
    EXPECT_EQ(seconds, -1.0);

    // The divisor is the sum of the two values: a stop clock of 8e-7 / 8.
    session->configureSyntra(3, 5);
    EXPECT_EQ(block.syntraFirst, 3u);
    EXPECT_EQ(block.syntraSecond, 5u);
    session->readSyntraMeasurement(7, &seconds, 8e-7);
    EXPECT_NEAR(seconds, -2 * 8e-7 + 2 * 1e-7 + 90e-9 + 8e-7 * 2, 1e-18);
    EXPECT_EQ(module.decoder().last("syntrasync.readFTDCMeasurement")->value("arg1"), 7);
}

TEST(SyntraSyncSession, AValidConfigurationRecordIsUsedAndCheckedAtCreation) {
    SimulatedModule module;
    auto& config = module.syntraSync().ftdcConfiguration;
    config = syntrasynctest::validRecord<std::decay_t<decltype(config)>>();
    module.syntraSync().ftdcStart = wholeValue(3);
    module.syntraSync().ftdcStop = wholeValue(1);
    {
        auto session = makeSession(module);
        session->configureSyntra(1, 0);
        double seconds = 0.0;
        // A 10 ns measurement clock and a start offset of 200 ns:
        // d = 3e-8 - (1e-8 - 2e-7); the first candidate -2e-7 + d is positive.
        session->readSyntraMeasurement(0, &seconds, 1e-7);
        EXPECT_NEAR(seconds, -2e-7 + 2.2e-7, 1e-18);
    }
    // Each zero is refused by the computer (see its own tests).
    config.mclkDivisor = 0;
    EXPECT_EQ(thrownStatus([&] { makeSession(module); }).first, qverr::qvapalerr_invalidParameter);
}

TEST(SyntraSyncSession, AnUnknownMeasurementTypeOrAFailedRequestMakesNoSession) {
    SimulatedModule module;
    module.syntraSync().measurementType = 3;
    EXPECT_EQ(thrownStatus([&] { makeSession(module); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);

    module.syntraSync().measurementType = 0;
    qvtest::failRequests(module, "syntrasync.readFTDCConfiguration", -52008);
    EXPECT_EQ(thrownStatus([&] { makeSession(module); }).first, qverr::qvapalerr_osFault);
}

TEST(SyntraSyncSession, SendsTriggerSynchronizationInOrderAndStopsAtTheFirstFailure) {
    SimulatedModule module;
    auto session = makeSession(module);
    const uint32_t values[] = {11, 22, 33};
    session->configureTriggerSynchronization(3, values);
    EXPECT_EQ(module.syntraSync().triggerSynchronization, (std::vector<uint32_t>{11, 22, 33}));
    module.decoder().clear();
    // None to send, then null values with a count: nothing is sent.
    session->configureTriggerSynchronization(0, nullptr);
    EXPECT_EQ(thrownStatus([&] { session->configureTriggerSynchronization(2, nullptr); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(requestsOf(module, "syntrasync.configureTriggerSynchronization"), 0u);

    module.on("syntrasync.configureTriggerSynchronization",
              [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                  if (request.value("index") == 1) reply.status(-52010);
                  return 0;
              });
    EXPECT_EQ(thrownStatus([&] { session->configureTriggerSynchronization(3, values); }).first,
              qverr::qvapalerr_resourceNotInitialized);
    EXPECT_EQ(requestsOf(module, "syntrasync.configureTriggerSynchronization"), 2u);
}

// The forwarding operations are driven through the exports.
TEST(SyntraSyncSession, AFailedConfigurationKeepsTheDivisor) {
    SimulatedModule module;
    auto session = makeSession(module);
    session->configureSyntra(2, 2);
    qvtest::failRequests(module, "syntrasync.configureSyntra", -52010);
    EXPECT_EQ(thrownStatus([&] { session->configureSyntra(0, 0); }).first,
              qverr::qvapalerr_resourceNotInitialized);
    double seconds = 0.0;
    session->readSyntraMeasurement(0, &seconds, 1e-7);
}

TEST(SyntraSyncSession, APulseStretcherModuleCalibratesThenMeasures) {
    SimulatedModule module;
    auto& block = module.syntraSync();
    block.measurementType = 2;
    // The stretched length grows with the delay: 1.5 times and 4 ns more,
    // at 1.2 GHz, with alternating jitter around the mean.
    block.calibrationCount = [](uint32_t index, uint8_t setting) {
        const double stretched = 1.5 * (setting / 156.25e6) + 4e-9;
        return static_cast<uint64_t>(std::llround(stretched * 1.2e9)) +
               (index % 2 == 0 ? 1 : -1) * 1;
    };
    auto session = makeSession(module);
    session->configureSyntra(10, 0);
    double seconds = 0.0;
    const auto [code, json] =
        thrownStatus([&] { session->readSyntraMeasurement(0, &seconds, 1e-7); });
    EXPECT_EQ(code, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_NE(json.find("No TDC calibration coefficients found."), std::string::npos);

    session->calibrateTDC();
    // 1400 settings: 1 to 7, 200 of each, in increasing order.
    ASSERT_EQ(block.lastCalibrationSettings.size(), 1400u);
    for (size_t i = 0; i < 1400; ++i) ASSERT_EQ(block.lastCalibrationSettings[i], i / 200 + 1) << i;

    // A stretched length of setting 3 maps back to its delay, 3 x 6.4 ns.
    const uint64_t third =
        static_cast<uint64_t>(std::llround((1.5 * (3 / 156.25e6) + 4e-9) * 1.2e9));
    block.pulseStretcherReading[0] = 5;
    block.pulseStretcherReading[1] = 2;
    block.pulseStretcherReading[2] = third;
    session->readSyntraMeasurement(0, &seconds, 1e-7);
    EXPECT_NEAR(seconds, 5e-8 - 3 * 6.4e-9 + (1e-7 - 2 * 6.4e-9), 1e-12);

    // Equal counts determine no polynomial: refused, the last fit kept.
    block.calibrationCount = [](uint32_t, uint8_t) { return uint64_t{40}; };
    EXPECT_EQ(thrownStatus([&] { session->calibrateTDC(); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    double again = 0.0;
    session->readSyntraMeasurement(0, &again, 1e-7);
    EXPECT_EQ(again, seconds);
}

TEST(SyntraSyncControlProxy, SkipsAfterAnErrorAndFailsWithoutASubInterface) {
    SimulatedModule module;
    auto proxy = qvtest::openModuleProxy(module);
    syntrasynchal::SyntraSyncControlProxy control(
        std::shared_ptr<sdihal::iInterfaceProxy_syntrasync>(proxy, proxy.get()));
    nQVAPALS100::tStatus failed;
    failed.setCode(-1, "test", "test", 1);
    EXPECT_EQ(control.getMeasurementType(failed), 4u);
    control.sendSyncPulse(failed);
    EXPECT_TRUE(module.decoder().requests().empty());

    EXPECT_EQ(thrownStatus([&] {
                  SyntraSyncSession session(new syntrasynchal::SyntraSyncControlProxy(nullptr));
              }).first,
              qverr::qvapalerr_resourceNotFound);
}

// The caller's mistakes are named; the session's own faults (an unknown
// type, no samples) carry the location alone.
TEST(SyntraSyncSession, RefusalsNameTheSessionAndWhatWasWrong) {
    SimulatedModule module;
    auto ftdc = makeSession(module);
    module.syntraSync().measurementType = 1;
    auto injection = makeSession(module);
    injection->configureSyntra(1, 0);
    double seconds = 0.0;
    qvtest::expectRefusals({
        {[&] { ftdc->readSyntraMeasurement(0, nullptr, 1e-7); }, qverr::qvapalerr_invalidParameter,
         "SyntraSyncSession", "syncMeasurementInSeconds is NULL"},
        {[&] { ftdc->readSyntraMeasurement(0, &seconds, 1e-7); }, qverr::qvapalerr_invalidParameter,
         "SyntraSyncSession", "_syntraDivisor is not greater than 0"},
        {[&] { injection->readSyntraMeasurement(0, &seconds, 1e-7); },
         qverr::qvapalerr_softwareFaultAPALInternalUseOnly, nullptr, nullptr},
        {[&] {
             module.syntraSync().measurementType = 3;
             makeSession(module);
         },
         qverr::qvapalerr_softwareFaultAPALInternalUseOnly, nullptr, nullptr},
    });
}

}  // namespace
