// The model name of a module from its PCI identity, for persistent tokens.
#pragma once

#include <cstdint>
#include <string>

#include "atomiczekddk/aliases/PersistentTokens.h"

namespace atomiczekhal {

class PciModelNameIdentifierCodegen : public qvzek::IPciModelNameIdentifier {
public:
    // "QV PXIe-3377" for its vendor, device and subsystem ids together,
    // "Unknown device" for anything else.
    std::string getModelName(uint32_t vendorId, uint32_t deviceId, uint32_t subsystemId) override;

    // The one instance the library uses.
    static PciModelNameIdentifierCodegen& instance();
};

}  // namespace atomiczekhal
