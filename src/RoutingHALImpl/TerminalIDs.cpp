#include "RoutingHALImpl/TerminalIDs.h"

namespace routinghal {

const std::map<uint32_t, std::string> kTerminalIDToTerminalNameMap{
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

const std::vector<uint32_t> kAiImportTerminalIDs{1,  2,  3,  4,  5,  16, 17, 18,
                                                 19, 20, 21, 22, 23, 32, 33};
const std::vector<uint32_t> kAiExportTerminalIDs{1,  2,  3,  6,  7,  8,  9,  10, 11, 12, 13,
                                                 14, 15, 32, 33, 34, 35, 36, 37, 38, 39, 41};
const std::vector<uint32_t> kAoImportTerminalIDs{1, 5, 4, 32, 33, 24, 25, 26, 27};
const std::vector<uint32_t> kAoExportTerminalIDs{1,  6,  7,  32, 33, 34, 35, 24, 25,
                                                 26, 27, 28, 29, 30, 31, 40, 41, 42};

}  // namespace routinghal
