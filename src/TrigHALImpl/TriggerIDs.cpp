#include "TrigHALImpl/TriggerIDs.h"

#include <cstring>

#include "HALUtilities/ErrorHandling.h"
#include "qverr/Exception.h"

namespace trighal {

const TriggerIDEntry kTriggerNameToIDTable[36] = {
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
    {nullptr, 0},
};

const std::map<uint32_t, std::string> kTerminalIDToTerminalNameMap = {
    {1, "StartTrigger"},
    {2, "ReferenceTrigger"},
    {3, "RecordAdvanceTrigger"},
    {4, "TimerStartTrigger"},
    {5, "SyncPulseDestination"},
    {6, "SyncPulseSource"},
    {7, "Syntra"},
    {8, "UserSource0"},
    {9, "UserSource1"},
    {10, "UserSource2"},
    {11, "UserSource3"},
    {12, "UserSource4"},
    {13, "UserSource5"},
    {14, "UserSource6"},
    {15, "UserSource7"},
    {16, "UserDestination0"},
    {17, "UserDestination1"},
    {18, "UserDestination2"},
    {19, "UserDestination3"},
    {20, "UserDestination4"},
    {21, "UserDestination5"},
    {22, "UserDestination6"},
    {23, "UserDestination7"},
    {24, "ScriptTrigger0"},
    {25, "ScriptTrigger1"},
    {26, "ScriptTrigger2"},
    {27, "ScriptTrigger3"},
    {28, "Marker0Event"},
    {29, "Marker1Event"},
    {30, "Marker2Event"},
    {31, "Marker3Event"},
    {32, "ConfigurationListStepTrigger"},
    {33, "ConfigurationListTrigger1"},
    {34, "ConfigurationSettledEvent"},
    {35, "ConfigurationListEvent1"},
    {36, "ReadyForStartEvent"},
    {37, "ReadyForReferenceEvent"},
    {38, "ReadyForAdvanceEvent"},
    {39, "EndOfRecordEvent"},
    {40, "StartedEvent"},
    {41, "DoneEvent"},
    {42, "TxBlank"},
};

namespace {
constexpr uint32_t kAiImport[] = {1, 2, 3, 4, 5, 16, 17, 18, 19, 20, 21, 22, 23, 32, 33};
constexpr uint32_t kAiExport[] = {1,  2,  3,  6,  7,  8,  9,  10, 11, 12, 13,
                                  14, 15, 32, 33, 34, 35, 36, 37, 38, 39, 41};
constexpr uint32_t kAoImport[] = {1, 5, 4, 32, 33, 24, 25, 26, 27};
constexpr uint32_t kAoExport[] = {1,  6,  7,  32, 33, 34, 35, 24, 25,
                                  26, 27, 28, 29, 30, 31, 40, 41, 42};
}  // namespace

const std::span<const uint32_t> kAiImportTerminalIDs{kAiImport};
const std::span<const uint32_t> kAiExportTerminalIDs{kAiExport};
const std::span<const uint32_t> kAoImportTerminalIDs{kAoImport};
const std::span<const uint32_t> kAoExportTerminalIDs{kAoExport};

int32_t triggerIdOf(const char* name) {  // null and unknown names fail alike, location only
    if (name != nullptr) {
        for (const TriggerIDEntry* entry = kTriggerNameToIDTable; entry->name != nullptr; ++entry) {
            if (std::strcmp(entry->name, name) == 0) return entry->id;
        }
    }
    QVERR_THROW(qv3377hal::kComponent, qverr::qvapalerr_invalidParameter,
                "qvapalerr_invalidParameter");
}

}  // namespace trighal
