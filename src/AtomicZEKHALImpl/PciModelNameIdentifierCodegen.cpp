#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"

namespace atomiczekhal {

namespace {

struct Model {
    uint32_t vendorId;
    uint32_t deviceId;
    uint32_t subsystemId;
    const char* name;
};

constexpr Model kModels[] = {{0x7C1E, 0xC4C4, 0x7822, "QV PXIe-3377"}};

}  // namespace

std::string PciModelNameIdentifierCodegen::getModelName(uint32_t vendorId, uint32_t deviceId,
                                                        uint32_t subsystemId) {
    for (const Model& model : kModels) {
        if (model.vendorId == vendorId && model.deviceId == deviceId &&
            model.subsystemId == subsystemId) {
            return model.name;
        }
    }
    return "Unknown device";
}

PciModelNameIdentifierCodegen& PciModelNameIdentifierCodegen::instance() {
    // Constant-initialised: nothing runs when the library is loaded.
    static constinit PciModelNameIdentifierCodegen identifier;
    return identifier;
}

}  // namespace atomiczekhal
