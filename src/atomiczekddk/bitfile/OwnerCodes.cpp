#include "atomiczekddk/bitfile/OwnerCodes.h"

#include <array>
#include <utility>

#include "atomiczekddk/shared/Errors.h"

namespace qvzek {

const char* const kChassisProgrammingModeText =
    "other;The chassis is set to the PXI programming mode. FPGA programs can run only after "
    "you choose FPGA programming mode on the chassis properties page and deploy your settings.";

int32_t ownerTextToCode(std::string_view text) {
    const std::array<std::pair<std::string_view, int32_t>, 8> known = {{
        {"FPGAInterface", kOwnerFpgaInterface},
        {"interactive", kOwnerInteractive},
        {"emulation", kOwnerEmulation},
        {"other;ZEK Device Setup", kOwnerConfiguration},
        {"other;FpgaInterfaceCApi", kOwnerCApi},
        {kChassisProgrammingModeText, kOwnerChassisMode},
        {"other;configuration", kOwnerConfiguration},
        {"other;FpgaInterfaceCApiGenericError", kOwnerCApiGenericError},
    }};
    for (const auto& [owner, code] : known) {
        if (text == owner) return code;
    }
    return kOwnerOther;
}

std::string codeToOwnerText(int32_t code) {
    const char* text = "other";
    switch (code) {
        case kOwnerCApiGenericError:
            text = "other;FpgaInterfaceCApiGenericError";
            break;
        case kOwnerConfiguration:
            text = "other;configuration";
            break;
        case kOwnerEmulation:
            text = "emulation";
            break;
        case kOwnerInteractive:
            text = "interactive";
            break;
        case kOwnerFpgaInterface:
            text = "FPGAInterface";
            break;
        case kOwnerChassisMode:
            text = kChassisProgrammingModeText;
            break;
        case kOwnerCApi:
            text = "other;FpgaInterfaceCApi";
            break;
        default:
            break;
    }
    return std::string(text) + "\n";
}

int32_t modeFieldToCode(uint32_t word) {
    static constexpr std::array<int32_t, 8> codes = {
        kOwnerCApi,      kOwnerChassisMode,   kOwnerFpgaInterface,    kOwnerInteractive,
        kOwnerEmulation, kOwnerConfiguration, kOwnerCApiGenericError, kOwnerOther};
    return codes[(word & kProgrammingModeMask) >> 26];
}

}  // namespace qvzek
