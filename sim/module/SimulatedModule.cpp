#include "module/SimulatedModule.h"

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "module/RFPlatBlock.h"
#include "qverr/Status.h"

namespace qvsim {
namespace {

// Traits records are laid out by the engine that reads them; the driver
// reports how many of their bytes it filled.
void fillTraits(Reply& reply, uint32_t used) {
    auto traits = reply.bytes("traits");
    for (uint32_t i = 0; i < used && i < traits.size(); ++i) traits[i] = static_cast<uint8_t>(i + 1);
    reply.set("size", used);
}

}  // namespace

SimulatedModule::SimulatedModule()
    : devicePath_(driver_.addDevice(kDeviceName)), rfplat_(std::make_unique<RFPlatBlock>()) {
    tree_.addInterface(kDriverName, sdihal::tInterfaceProxy_qv3377k::kInterfaceName, "0", devicePath_);
    tree_.setDeviceProperty(kDriverName, "serialNumber", kSerialNumber);

    rfplat_->driverInterfaceVersion = kDriverInterfaceVersion;
    rfplat_->moduleRevisions[0] = kModuleRevision;
    rfplat_->install(*this);
    on("wgen.getTraits", [](const DecodedRequest&, Reply& reply) {
        fillTraits(reply, kGenerationTraitsSize);
        return 0;
    });
    on("mra.getTraits", [](const DecodedRequest&, Reply& reply) {
        fillTraits(reply, kAcquisitionTraitsSize);
        return 0;
    });
}

SimulatedModule::~SimulatedModule() = default;

}  // namespace qvsim
