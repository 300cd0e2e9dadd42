// The terminal vocabulary of the routing session: the 42 routable trigger
// and event signals by id, and which of them an acquisition ("/ai/0") or
// generation ("/ao/0") session may import or export.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace routinghal {

extern const std::map<uint32_t, std::string> kTerminalIDToTerminalNameMap;
extern const std::vector<uint32_t> kAiImportTerminalIDs;
extern const std::vector<uint32_t> kAiExportTerminalIDs;
extern const std::vector<uint32_t> kAoImportTerminalIDs;
extern const std::vector<uint32_t> kAoExportTerminalIDs;

}  // namespace routinghal
