// The routing adaptor's view of a module: the named terminals of its
// topography, constant tables registered by name when the library loads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qvark {

inline constexpr uint32_t kNoBusLine = 0xFFFFFFFF;

struct TerminalInfo {
    const char* name;
    uint32_t id;
    bool isExternal;
    bool isOwned;
    const char* visibility;
    const char* busType;  // null when on no bus
    uint32_t busLine;
    const char* busName;  // null
    bool isAlias;
    const char* canonicalName;
    bool isMaskedOut;
};

struct TopographyInfo {
    const char* name;
    uint64_t terminalCount;
    const TerminalInfo* terminals;
};

inline constexpr uint32_t kMaxTopographies = 32;

// The one topography of the QV-3377's reference FPGA.
extern const TopographyInfo kTopQrxReferenceFpga;

// Appends `topography` to the process-wide registry and returns its
// position; a full registry refuses it with -1.
int32_t registerTopography(const TopographyInfo* topography);
// The first registered topography named exactly `name`; throws
// qverr::Exception -50003 ("qvark_debug": "Topography not found: <name>")
// for an unknown or null name.
const TopographyInfo& findTopography(const char* name);

// Lookups a route calculation makes per terminal, built once per topography
// instead of a walk of the whole table per name.
class TerminalIndex {
public:
    explicit TerminalIndex(const TopographyInfo& topography);

    // The id of the first terminal whose name equals `name` under full
    // Unicode case folding (the text as written, escapes not decoded); 0
    // when none does.
    uint32_t idOfName(std::string_view name) const;
    // The name of the first terminal with `id`, "" when none has it.
    const char* nameOfId(uint32_t id) const;

private:
    std::unordered_map<std::string, uint32_t> idByFoldedName_;
    std::unordered_map<uint32_t, const char*> nameById_;
};

// The index of `topography`, built at its first use (thread-safe).
const TerminalIndex& terminalIndex(const TopographyInfo& topography);

}  // namespace qvark
