// The module's trigger and terminal vocabularies: the terminal ids the
// routing session may route with their names and the import and export
// lists of each subsystem instance, and the trigger and event names with
// the signed ids the kernel driver uses (positive: generation, negative:
// acquisition). Constant for the life of the process.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace trighal {

struct TriggerIDEntry {
    const char* name;
    int32_t id;
};

// 35 entries and a terminating {nullptr, 0}.
extern const TriggerIDEntry kTriggerNameToIDTable[36];

extern const std::map<uint32_t, std::string> kTerminalIDToTerminalNameMap;
extern const std::span<const uint32_t> kAiImportTerminalIDs;
extern const std::span<const uint32_t> kAiExportTerminalIDs;
extern const std::span<const uint32_t> kAoImportTerminalIDs;
extern const std::span<const uint32_t> kAoExportTerminalIDs;

// The id of the entry named exactly `name` (case-sensitive, whole text); a
// null or unknown name throws qverr::Exception -52005.
int32_t triggerIdOf(const char* name);

}  // namespace trighal
