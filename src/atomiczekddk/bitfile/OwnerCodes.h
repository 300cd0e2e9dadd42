// Who holds an FPGA, in its three forms: the owner text of the device's
// string attribute, the status code reported to the user, and the 3-bit
// programming-mode field (bits 26-28) of the attribute word given to an
// FPGA session open.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvzek {

inline constexpr uint32_t kProgrammingModeMask = 0x1C000000;

// The owner text of -61201: the chassis is in another programming mode.
extern const char* const kChassisProgrammingModeText;

// Exact, case-sensitive match against the known owner texts; -61141 else.
int32_t ownerTextToCode(std::string_view text);
// The owner text of a code followed by a line feed; "other" for codes
// that have none.
std::string codeToOwnerText(int32_t code);
// The code of the programming-mode field of an attribute word.
int32_t modeFieldToCode(uint32_t word);

}  // namespace qvzek
