#include "module/SimulatedModule.h"

#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"
#include "module/RFPlatBlock.h"
#include "qverr/Status.h"
#include "qvfpga/QvFpgaSim.h"

namespace qvsim {
namespace {

// Traits records are laid out by the engine that reads them; the driver
// reports how many of their bytes it filled.
void fillTraits(Reply& reply, uint32_t used) {
    auto traits = reply.bytes("traits");
    for (uint32_t i = 0; i < used && i < traits.size(); ++i)
        traits[i] = static_cast<uint8_t>(i + 1);
    reply.set("size", used);
}

// What the FPGA driver tells of the module's FPGA: the kind of bus it sits
// on ("pci "), its product name, the FPGA target class bitfiles are built
// for and the board's hardware revision.
void publishFpgaProperties(DeviceTree& tree, const std::string& driver) {
    const uint32_t pciBus = qvzek::kBusTypePci;
    tree.setBusProperty(driver, "busType",
                        std::string(reinterpret_cast<const char*>(&pciBus), sizeof pciBus));
    tree.setDeviceProperty(driver, "zekProductName",
                           std::string(SimulatedModule::kProductName) + '\0');
    tree.setDeviceProperty(driver, "zekFpgaTargetClass",
                           std::string(SimulatedModule::kFpgaTargetClass) + '\0');
    tree.setDeviceProperty(driver, "zekHardwareRevision",
                           std::string(SimulatedModule::kHardwareRevision) + '\0');
}

}  // namespace

SimulatedModule::SimulatedModule()
    : devicePath_(driver_.addDevice(kDeviceName)), rfplat_(std::make_unique<RFPlatBlock>()) {
    tree_.addInterface(kDriverName, sdihal::tInterfaceProxy_qv3377k::kInterfaceName, "0",
                       devicePath_);
    tree_.setDeviceProperty(kDriverName, "serialNumber", kSerialNumber);
    publishFpgaProperties(tree_, kDriverName);
    tree_.setBusProperty(kDriverName, "pciSlotPath", std::string(kPciSlotPath) + '\0');
    plugFpga();
    // Where the module's image (imagePath) places its control register and
    // interrupt status above the register base.
    fpga_.setControlAddress(kImageControlAddress);
    fpga_.setIrqStatusAddress(kImageIrqStatusAddress);

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

namespace {

// The driver's "/dev/qv" entry of an interface: "<device>\<interface>\<instance>".
std::string moduleEntryName(const std::string& driver) {
    return driver + "\\" + SimulatedModule::kFpgaInterfaceName + "\\0";
}

}  // namespace

void SimulatedModule::publishFpgaInterface(const std::string& driver,
                                           const std::string& devicePath) {
    tree_.addInterface(driver, kFpgaInterfaceName, "0", devicePath);
    tree_.addDeviceEntry(moduleEntryName(driver));
}

void SimulatedModule::withdrawFpgaInterface(const std::string& driver) {
    tree_.removeInterface(driver, kFpgaInterfaceName, "0");
    tree_.removeDeviceEntry(moduleEntryName(driver));
}

void SimulatedModule::publishPciIdentity(const std::string& driver, PciAddress address,
                                         const std::string& slotPath) {
    VisaBlock::publishIdentity(tree_, driver, address.bus, address.device, address.function);
    // Text properties end with the driver's terminator.
    tree_.setBusProperty(driver, "pciSlotPath", slotPath + '\0');
}

std::string SimulatedModule::addFpgaInterface(const std::string& driver, PciAddress address,
                                              const std::string& slotPath) {
    publishPciIdentity(driver, address, slotPath);
    publishFpgaProperties(tree_, driver);
    const std::string path = driver_.addDevice(driver + "_fpga");
    publishFpgaInterface(driver, path);
    return path;
}

const char* SimulatedModule::imagePath() {
    return QVSIM_MODULE_IMAGE;
}

void SimulatedModule::declareDefaultFifos() {
    qvfpgasim_declareFifo("list mode.acq.fifo 0", 8, 1024);
    qvfpgasim_declareFifo("list mode.gen.fifo 0", 8, 1024);
    qvfpgasim_declareFifo("cal.measurement fifo 0", 8, 4096);
    qvfpgasim_declareFifo("p2p.acq.fifo.I16.width 16.depth 16k", 2, 16384);
    qvfpgasim_declareFifo("p2p.gen.fifo.I16.width 16.depth 32k", 2, 32768);
}

void SimulatedModule::shareEventLog() {
    driver_.onEvent([](const std::string& event) { qvfpgasim_logCall(event.c_str()); });
}

}  // namespace qvsim
