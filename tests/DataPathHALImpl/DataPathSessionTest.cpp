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
    int64_t sent(const char* method, const char* field) { return module.decoder().last(method)->value(field); }
    double sentDelay(const char* method) {
        return sdihal::fixedPointToDouble(module.decoder().last(method)->get<sdihal::tFixedPointValue>("delay"));
    }
};

// The status code of the exception `call` throws (0 when none).
template <class Call>
int32_t thrownCode(Call&& call, std::string* json = nullptr) {
    try {
        call();
    } catch (const qverr::Exception& e) {
        if (json != nullptr) *json = e.what();
        return e.status.code;
    }
    return 0;
}

TEST_F(DataPath, ConstructionReadsTheFormatsOfItsPath) {
    datapathhal::DataPathSession acquisition(qvtest::openModuleProxy(module), 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"datapath.getPreRouteTriggerDelayFormat",
                                                 "datapath.getTriggerTimestampOffsetFormat",
                                                 "datapath.getTriggerTimestampInfo",
                                                 "datapath.getAnalogFrontEndDelayFormat"}));
    EXPECT_EQ(sent("datapath.getAnalogFrontEndDelayFormat", "index"), 0);
    EXPECT_EQ(acquisition.triggerTimestampMode(), 2u);
    module.decoder().clear();

    datapathhal::DataPathSession generation(qvtest::openModuleProxy(module), 1);
    EXPECT_EQ(names(), (std::vector<std::string>{"datapath.getMarkerDelayFormat",
                                                 "datapath.getPostRouteEventDelayFormat",
                                                 "datapath.getAnalogFrontEndDelayFormat"}));
    EXPECT_EQ(sent("datapath.getAnalogFrontEndDelayFormat", "index"), 1);
    EXPECT_EQ(generation.triggerTimestampMode(), 1u);
    module.decoder().clear();

    EXPECT_EQ(thrownCode([&] { datapathhal::DataPathSession(qvtest::openModuleProxy(module), 2); }), -52005);
    EXPECT_TRUE(module.decoder().requests().empty());
    qvtest::failRequests(module, "datapath.getTriggerTimestampOffsetFormat", -50700);
    EXPECT_EQ(thrownCode([&] { datapathhal::DataPathSession(qvtest::openModuleProxy(module), 0); }), -50700);
}

TEST_F(DataPath, DelaysAreConvertedWithTheirFormatsAndSentToTheirPath) {
    datapathhal::DataPathSession acquisition(qvtest::openModuleProxy(module), 0);
    datapathhal::DataPathSession generation(qvtest::openModuleProxy(module), 1);
    const uint64_t acq = qvtest::handleOf(acquisition);
    const uint64_t gen = qvtest::handleOf(generation);
    module.decoder().clear();
    // Signed 24 bits with 8 integer bits: 1.5 is 1.5 × 2^16.
    ASSERT_EQ(DP_FN(datapath_programAnalogFrontEndDelay)(gen, 1.5), 0);
    EXPECT_EQ(sent("datapath.programAnalogFrontEndDelay", "index"), 1);
    EXPECT_EQ(module.decoder().last("datapath.programAnalogFrontEndDelay")->get<sdihal::tFixedPointValue>("delay").bits,
              98304u);
    // Signed 20 bits with 12 integer bits: 2.0 is 2 × 2^8.
    ASSERT_EQ(DP_FN(datapath_programMarkerDelay)(gen, 2.0), 0);
    EXPECT_EQ(module.decoder().last("datapath.programMarkerDelay")->get<sdihal::tFixedPointValue>("delay").bits, 512u);
    ASSERT_EQ(DP_FN(datapath_programPostRouteEventDelay)(gen, -1.0), 0);
    EXPECT_EQ(sentDelay("datapath.programPostRouteEventDelay"), -1.0);
    ASSERT_EQ(DP_FN(datapath_programPreRouteTriggerDelay)(acq, 0.5), 0);
    EXPECT_EQ(sentDelay("datapath.programPreRouteTriggerDelay"), 0.5);
    // Flags are the low byte only.
    ASSERT_EQ(DP_FN(datapath_programEqBypass)(acq, 256), 0);
    EXPECT_EQ(sent("datapath.programEqBypass", "flag"), 0);
    ASSERT_EQ(DP_FN(datapath_programDSPIgnoreOverflow)(acq, 256), 0);
    EXPECT_EQ(sent("datapath.programDSPIgnoreOverflow", "flag"), 0);
    ASSERT_EQ(DP_FN(datapath_programDSPIgnoreOverflow)(acq, 0x101), 0);
    EXPECT_EQ(sent("datapath.programDSPIgnoreOverflow", "flag"), 1);
    ASSERT_EQ(DP_FN(datapath_programDataDelay)(acq, 0xFFFFFFFF), 0);
    EXPECT_EQ(sent("datapath.programDataDelay", "delay"), 0xFFFFFFFF);
    const uint8_t messages[16] = {1, 2, 3};
    ASSERT_EQ(DP_FN(datapath_sendMessages)(gen, messages, 4), 0);
    EXPECT_EQ(static_cast<uint64_t>(sent("datapath.sendMessages", "messages")), reinterpret_cast<uint64_t>(messages));
    EXPECT_EQ(sent("datapath.sendMessages", "count"), 4);
    EXPECT_EQ(sent("datapath.sendMessages", "index"), 1);
    // Only the front-end delay and the messages name their path.
    for (const char* method : {"datapath.programMarkerDelay", "datapath.programPostRouteEventDelay",
                               "datapath.programPreRouteTriggerDelay", "datapath.programEqBypass"}) {
        EXPECT_THROW(module.decoder().last(method)->in("index"), std::out_of_range) << method;
    }
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
    uint32_t pipeline = 99, minimum = 5, maximum = 6;
    ASSERT_EQ(DP_FN(datapath_readDSPPipelineDelay)(handle, &pipeline), 0);
    EXPECT_EQ(sent("datapath.readDSPPipelineDelay", "delay"), 99);
    EXPECT_EQ(pipeline, 17u);
    ASSERT_EQ(DP_FN(datapath_readDataDelayRange)(handle, &minimum, &maximum), 0);
    EXPECT_EQ(sent("datapath.readDataDelayRange", "maximum"), 6);
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
    for (const int32_t code :
         {DP_FN(datapath_checkStatus)(handle, nullptr), DP_FN(datapath_checkStatusWithContext)(handle, nullptr),
          DP_FN(datapath_clearStatus)(handle, nullptr), DP_FN(datapath_readDSPGroupDelay)(handle, nullptr),
          DP_FN(datapath_readDSPPipelineDelay)(handle, nullptr),
          DP_FN(datapath_readDataDelayRange)(handle, &value, nullptr),
          DP_FN(datapath_readDataDelayRange)(handle, nullptr, &value), DP_FN(datapath_getPFI0FpgaDelay)(handle, nullptr),
          DP_FN(datapath_getRoutingDelay)(handle, nullptr), DP_FN(datapath_isDone)(handle, nullptr),
          DP_FN(datapath_isDone)(0, nullptr), DP_FN(datapath_waitForDone)(0)}) {
        EXPECT_EQ(code, -52005);
    }
    EXPECT_TRUE(module.decoder().requests().empty());
}

TEST_F(DataPath, WaitForDoneReturnsAfterTheReadThatShowsIdleOrTimesOut) {
    datapathhal::DataPathSession session(qvtest::openModuleProxy(module), 0);
    const uint64_t handle = qvtest::handleOf(session);
    module.dataPath().paths[0].readsUntilIdle = 4;
    module.dataPath().paths[0].doneReads = 0;
    module.decoder().clear();
    ASSERT_EQ(DP_FN(datapath_waitForDone)(handle), 0);
    EXPECT_EQ(names(), std::vector<std::string>(5, "datapath.isDone"));
    uint8_t done = 0;
    ASSERT_EQ(DP_FN(datapath_isDone)(handle, &done), 0);
    EXPECT_EQ(done, 1);

    module.dataPath().paths[0].readsUntilIdle = -1;
    std::string json;
    EXPECT_EQ(thrownCode([&] { session.waitForDone(std::chrono::milliseconds(1)); }, &json), -1074098044);
    for (const char* part : {"mxlator_qv3377HAL", "kUsageTypeSource", "Waiting For Device To Transition To Idle",
                             "\"line\":189"}) {
        EXPECT_THAT(json, ::testing::HasSubstr(part));
    }
    // The export's own budget is a few milliseconds.
    EXPECT_EQ(DP_FN(datapath_waitForDone)(handle), -1074098044);
    qvtest::failRequests(module, "datapath.isDone", -50704);
    module.decoder().clear();
    EXPECT_EQ(DP_FN(datapath_waitForDone)(handle), -50704);
    EXPECT_EQ(names().size(), 1u);
}

}  // namespace
