// The trigger-name vocabulary, against the values of the module's
// documentation typed in here. (The terminal names and lists are checked
// through the routing session that uses them.)
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TrigHALImpl/TriggerIDs.h"
#include "TrigHALImpl/trighalHandle.h"
#include "module/SimulatedModule.h"
#include "support/HostLibrary.h"
#include "support/ModuleProxy.h"

namespace {

const std::vector<std::pair<const char*, int32_t>> kExpectedTriggerIds = {
    {"ao/0/StartTrigger", 1}, {"ao/0/ScriptTrigger0", 2}, {"ao/0/ScriptTrigger1", 3},
    {"ao/0/ScriptTrigger2", 4}, {"ao/0/ScriptTrigger3", 5}, {"ao/0/ConfigurationListStepTrigger", 6},
    {"ao/0/TimerStartTrigger", 7}, {"ao/0/StartedEvent", 101}, {"ao/0/DoneEvent", 102},
    {"ao/0/Marker0Event", 103}, {"ao/0/Marker1Event", 104}, {"ao/0/Marker2Event", 105},
    {"ao/0/Marker3Event", 106}, {"ao/0/ConfigurationSettledEvent", 107}, {"ao/0/TimerEvent", 108},
    {"ai/0/StartTrigger", -1}, {"ai/0/ReferenceTrigger", -2}, {"ai/0/RecordAdvanceTrigger", -3},
    {"ai/0/ConfigurationListStepTrigger", -4}, {"ai/0/TimerStartTrigger", -5},
    {"ai/0/ReadyForStartEvent", -101}, {"ai/0/ReadyForAdvanceEvent", -102},
    {"ai/0/ReadyForReferenceEvent", -103}, {"ai/0/EndOfRecordEvent", -104}, {"ai/0/DoneEvent", -105},
    {"ai/0/ConfigurationSettledEvent", -106}, {"ai/0/TimerEvent", -107}, {"ai/0/UserSource0", -110},
    {"ai/0/UserSource1", -111}, {"ai/0/UserSource2", -112}, {"ai/0/UserSource3", -113},
    {"ai/0/UserSource4", -114}, {"ai/0/UserSource5", -115}, {"ai/0/UserSource6", -116},
    {"ai/0/UserSource7", -117},
};

class TriggerNames : public ::testing::Test {
protected:
    qvsim::SimulatedModule module;
    trighal::TrigHALSession session{qvtest::openModuleProxy(module)};
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    decltype(&trig_getTriggerID) getTriggerID = library.fn<decltype(&trig_getTriggerID)>("trig_getTriggerID");
};

TEST_F(TriggerNames, EveryNameGivesItsIdInStoredOrder) {
    for (const auto& [name, id] : kExpectedTriggerIds) {
        int32_t out = 0;
        EXPECT_EQ(getTriggerID(qvtest::handleOf(session), name, &out), 0) << name;
        EXPECT_EQ(out, id) << name;
    }
    size_t i = 0;
    for (; trighal::kTriggerNameToIDTable[i].name != nullptr; ++i) {
        ASSERT_LT(i, kExpectedTriggerIds.size());
        EXPECT_STREQ(trighal::kTriggerNameToIDTable[i].name, kExpectedTriggerIds[i].first);
    }
    EXPECT_EQ(i, 35u);
    EXPECT_EQ(trighal::kTriggerNameToIDTable[35].id, 0);
}

TEST_F(TriggerNames, MatchingIsExactAndFailuresLeaveTheOutputAlone) {
    for (const char* name : {"AO/0/StartTrigger", "ao/0/starttrigger", "ao/0/StartTrigger ", " ao/0/StartTrigger",
                             "StartTrigger", "0/StartTrigger", "", "ai/0/UserSource8", "ai/0/TimerEvent\t"}) {
        int32_t out = 1234;
        EXPECT_EQ(getTriggerID(qvtest::handleOf(session), name, &out), -52005) << '"' << name << '"';
        EXPECT_EQ(out, 1234);
    }
    int32_t out = 1234;
    EXPECT_EQ(getTriggerID(qvtest::handleOf(session), nullptr, &out), -52005);
    EXPECT_EQ(out, 1234);
    // The output pointer is checked before the handle; a null handle fails too.
    EXPECT_EQ(getTriggerID(0, "ao/0/StartTrigger", nullptr), -52005);
    EXPECT_EQ(getTriggerID(0, "ao/0/StartTrigger", &out), -52005);
    EXPECT_EQ(out, 1234);
    EXPECT_TRUE(module.decoder().requests().empty());
}

}  // namespace
