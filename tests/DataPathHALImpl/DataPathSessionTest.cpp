// The datapath_ exports of delays, status and the idle wait, through the
// shipped library on the simulated module.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "DataPathHALImpl/datapathhalHandle.h"
#include "module/SimulatedModule.h"
#include "qverr/Exception.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

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
    static bool hasIndex(const qvsim::DecodedRequest& request) {
        try {
            request.in("index");
            return true;
        } catch (const std::out_of_range&) {
            return false;
        }
    }
};

TEST_F(DataPath, ConstructionReadsTheFormatsOfItsPath) {
    datapathhal::DataPathSession acquisition(qvtest::openModuleProxy(module), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"datapath.getPreRouteTriggerDelayFormat",
                                                 "datapath.getTriggerTimestampOffsetFormat",
                                                 "datapath.getTriggerTimestampInfo",
                                                 "datapath.getAnalogFrontEndDelayFormat"}));
    EXPECT_EQ(module.decoder().last("datapath.getAnalogFrontEndDelayFormat")->value("index"), 0);
    EXPECT_EQ(acquisition.triggerTimestampMode(), 2u);
    module.decoder().clear();

    datapathhal::DataPathSession generation(qvtest::openModuleProxy(module), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"datapath.getMarkerDelayFormat",
                                                 "datapath.getPostRouteEventDelayFormat",
                                                 "datapath.getAnalogFrontEndDelayFormat"}));
    EXPECT_EQ(module.decoder().last("datapath.getAnalogFrontEndDelayFormat")->value("index"), 1);
    EXPECT_EQ(generation.triggerTimestampMode(), 1u);
    module.decoder().clear();

    try {
        datapathhal::DataPathSession refused(qvtest::openModuleProxy(module), 2);
        ADD_FAILURE() << "constructed";
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, -52005);
    }
    EXPECT_TRUE(module.decoder().requests().empty());

    qvtest::failRequests(module, "datapath.getTriggerTimestampOffsetFormat", -50700);
    EXPECT_THROW(datapathhal::DataPathSession(qvtest::openModuleProxy(module), 0), qverr::Exception);
}

TEST_F(DataPath, DelaysAreConvertedWithTheirFormatsAndSentToTheirPath) {
    datapathhal::DataPathSession acquisition(qvtest::openModuleProxy(module), 0);
    datapathhal::DataPathSession generation(qvtest::openModuleProxy(module), 1);
    module.decoder().clear();
    // Signed 24 bits with 8 integer bits: 1.5 is 1.5 × 2^16.
    ASSERT_EQ(DP_FN(datapath_programAnalogFrontEndDelay)(qvtest::handleOf(generation), 1.5), 0);
    auto sent = module.decoder().last("datapath.programAnalogFrontEndDelay");
    EXPECT_EQ(sent->value("index"), 1);
    EXPECT_EQ(sent->get<sdihal::tFixedPointValue>("delay").bits, 98304u);
    // Signed 20 bits with 12 integer bits: 2.0 is 2 × 2^8.
    ASSERT_EQ(DP_FN(datapath_programMarkerDelay)(qvtest::handleOf(generation), 2.0), 0);
    ASSERT_EQ(DP_FN(datapath_programPostRouteEventDelay)(qvtest::handleOf(generation), -1.0), 0);
    ASSERT_EQ(DP_FN(datapath_programPreRouteTriggerDelay)(qvtest::handleOf(acquisition), 0.5), 0);
    ASSERT_EQ(DP_FN(datapath_programEqBypass)(qvtest::handleOf(acquisition), 256), 0);
    for (const char* method : {"datapath.programMarkerDelay", "datapath.programPostRouteEventDelay",
                               "datapath.programPreRouteTriggerDelay", "datapath.programEqBypass"}) {
        sent = module.decoder().last(method);
        ASSERT_TRUE(sent) << method;
        EXPECT_FALSE(hasIndex(*sent)) << method;
    }
    EXPECT_EQ(module.decoder().last("datapath.programMarkerDelay")->get<sdihal::tFixedPointValue>("delay").bits, 512u);
    EXPECT_EQ(sdihal::fixedPointToDouble(
                  module.decoder().last("datapath.programPostRouteEventDelay")->get<sdihal::tFixedPointValue>("delay")),
              -1.0);
    EXPECT_EQ(module.decoder().last("datapath.programEqBypass")->value("flag"), 0);
    ASSERT_EQ(DP_FN(datapath_programDSPIgnoreOverflow)(qvtest::handleOf(acquisition), 256), 0);
    EXPECT_EQ(module.decoder().last("datapath.programDSPIgnoreOverflow")->value("flag"), 0);
    ASSERT_EQ(DP_FN(datapath_programDSPIgnoreOverflow)(qvtest::handleOf(acquisition), 0x101), 0);
    EXPECT_EQ(module.decoder().last("datapath.programDSPIgnoreOverflow")->value("flag"), 1);
    ASSERT_EQ(DP_FN(datapath_programDataDelay)(qvtest::handleOf(acquisition), 0xFFFFFFFF), 0);
    EXPECT_EQ(module.decoder().last("datapath.programDataDelay")->value("delay"), 0xFFFFFFFF);
    const uint8_t messages[16] = {1, 2, 3};
    ASSERT_EQ(DP_FN(datapath_sendMessages)(qvtest::handleOf(generation), messages, 4), 0);
    sent = module.decoder().last("datapath.sendMessages");
    EXPECT_EQ(static_cast<uint64_t>(sent->value("messages")), reinterpret_cast<uint64_t>(messages));
    EXPECT_EQ(sent->value("count"), 4);
    EXPECT_EQ(sent->value("index"), 1);
}

TEST_F(DataPath, ReadsReplaceTheCallersValuesOnlyOnSuccess) {
    auto& path = module.dataPath().paths[0];
    path.groupDelay = {0x180, {false, 16, 8}};
    path.pfi0Delay = {~uint64_t{0}, {true, 16, 16}};
    path.routingDelay = {3, {false, 8, 8}};
    path.pipelineDelay = 17;
    path.minimumDataDelay = 4;
    path.maximumDataDelay = 4000;
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    const uint64_t handle = qvtest::handleOf(session);
    double delay = 0;
    ASSERT_EQ(DP_FN(datapath_readDSPGroupDelay)(handle, &delay), 0);
    EXPECT_EQ(delay, 1.5);
    ASSERT_EQ(DP_FN(datapath_getPFI0FpgaDelay)(handle, &delay), 0);
    EXPECT_EQ(delay, -1.0);
    ASSERT_EQ(DP_FN(datapath_getRoutingDelay)(handle, &delay), 0);
    EXPECT_EQ(delay, 3.0);
    uint32_t pipeline = 99;
    ASSERT_EQ(DP_FN(datapath_readDSPPipelineDelay)(handle, &pipeline), 0);
    EXPECT_EQ(module.decoder().last("datapath.readDSPPipelineDelay")->value("delay"), 99);
    EXPECT_EQ(pipeline, 17u);
    uint32_t minimum = 5;
    uint32_t maximum = 6;
    ASSERT_EQ(DP_FN(datapath_readDataDelayRange)(handle, &minimum, &maximum), 0);
    EXPECT_EQ(module.decoder().last("datapath.readDataDelayRange")->value("maximum"), 6);
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
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 1);
    const uint64_t handle = qvtest::handleOf(session);
    datapathhal::DataPathStatusWithContext withContext{};
    ASSERT_EQ(DP_FN(datapath_checkStatusWithContext)(handle, &withContext), 0);
    EXPECT_EQ(std::vector<uint8_t>(withContext.flags, withContext.flags + 6), (std::vector<uint8_t>{1, 0, 1, 0, 1, 1}));
    EXPECT_EQ(withContext.firstContext, 0x1111u);
    EXPECT_EQ(withContext.secondContext, 0x2222u);
    datapathhal::DataPathStatus status{{9, 9, 9, 9, 9}};
    ASSERT_EQ(DP_FN(datapath_checkStatus)(handle, &status), 0);
    EXPECT_EQ(std::vector<uint8_t>(status.flags, status.flags + 5), (std::vector<uint8_t>(5, 0)));

    path.statusFlags = {1, 1, 1, 1, 1, 0};
    const datapathhal::DataPathStatus clear{{1, 0, 0, 0, 1}};
    ASSERT_EQ(DP_FN(datapath_clearStatus)(handle, &clear), 0);
    EXPECT_EQ(path.statusFlags, (std::array<uint8_t, 6>{0, 1, 1, 1, 0, 0}));

    qvtest::failRequests(module, "datapath.checkStatus", -50703);
    status = {{9, 9, 9, 9, 9}};
    EXPECT_EQ(DP_FN(datapath_checkStatus)(handle, &status), -50703);
    EXPECT_EQ(status.flags[0], 9);
}

TEST_F(DataPath, NullOutputsAreRefusedBeforeAnyRequest) {
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    const uint64_t handle = qvtest::handleOf(session);
    module.decoder().clear();
    uint32_t value = 0;
    EXPECT_EQ(DP_FN(datapath_checkStatus)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_checkStatusWithContext)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_clearStatus)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_readDSPGroupDelay)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_readDSPPipelineDelay)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_readDataDelayRange)(handle, &value, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_readDataDelayRange)(handle, nullptr, &value), -52005);
    EXPECT_EQ(DP_FN(datapath_getPFI0FpgaDelay)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_getRoutingDelay)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_isDone)(handle, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_isDone)(0, nullptr), -52005);
    EXPECT_EQ(DP_FN(datapath_waitForDone)(0), -52005);
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(DataPath, WaitForDoneReturnsAfterTheReadThatShowsIdle) {
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    const uint64_t handle = qvtest::handleOf(session);
    module.decoder().clear();
    ASSERT_EQ(DP_FN(datapath_waitForDone)(handle), 0);
    EXPECT_EQ(names().size(), 1u);

    module.dataPath().paths[0].readsUntilIdle = 4;
    module.dataPath().paths[0].doneReads = 0;
    module.decoder().clear();
    ASSERT_EQ(DP_FN(datapath_waitForDone)(handle), 0);
    EXPECT_EQ(names(), std::vector<std::string>(5, "datapath.isDone"));
    uint8_t done = 0;
    ASSERT_EQ(DP_FN(datapath_isDone)(handle, &done), 0);
    EXPECT_EQ(done, 1);
}

TEST_F(DataPath, WaitForDoneTimesOutWithItsUsageRecord) {
    module.dataPath().paths[0].readsUntilIdle = -1;
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    try {
        session.waitForDone(std::chrono::milliseconds(1));
        ADD_FAILURE() << "returned";
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, -1074098044);
        const std::string json = e.what();
        EXPECT_THAT(json, ::testing::HasSubstr("mxlator_qv3377HAL"));
        EXPECT_THAT(json, ::testing::HasSubstr("kUsageTypeSource"));
        EXPECT_THAT(json, ::testing::HasSubstr("Waiting For Device To Transition To Idle"));
        EXPECT_THAT(json, ::testing::HasSubstr("\"line\":189"));
    }
    // The export's own budget is a few milliseconds.
    EXPECT_EQ(DP_FN(datapath_waitForDone)(qvtest::handleOf(session)), -1074098044);

    qvtest::failRequests(module, "datapath.isDone", -50704);
    module.decoder().clear();
    EXPECT_EQ(DP_FN(datapath_waitForDone)(qvtest::handleOf(session)), -50704);
    EXPECT_EQ(names().size(), 1u);
}

}  // namespace
