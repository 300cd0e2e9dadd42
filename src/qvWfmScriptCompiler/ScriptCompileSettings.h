// What the generation engine tells the script compiler about its hardware:
// the names scripts may use for markers and script triggers, and the sample
// granularity of offsets, lengths and waits.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "qvhtl/utf8/utf8.h"

namespace qvwfmscriptcompiler {

// Name -> id, looked up without regard to letter case (full case folding).
using NameDictionary = std::map<std::string, uint32_t, qvzek::CaseFoldedLess>;

// The dictionary's names in its own order, joined with ", " (the possible
// keywords of errors that expect one of them).
std::string joinNames(const NameDictionary& dictionary);

// Owned by the generation engine and read by every compiler object, which
// hold it by reference; it outlives them.
struct ScriptCompileSettings {
    NameDictionary markerDictionary;         // marker ids 0..7
    NameDictionary scriptTriggerDictionary;  // script-trigger ids 0..7
    uint32_t alignmentQuantum = 1;           // samples; at least 1
    uint32_t minimumWaitLength = 0;          // samples
};

}  // namespace qvwfmscriptcompiler
