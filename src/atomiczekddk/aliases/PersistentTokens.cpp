#include "atomiczekddk/aliases/PersistentTokens.h"

#include <optional>

namespace qvzek {

namespace {

std::string modelOf(qvjsonconfig::DeviceIteratorInterface& device,
                    IPciModelNameIdentifier& modelNames) {
    uint32_t vendor = 0, deviceId = 0, subsystem = 0;
    device.getBusU32Property("pciVendorID", vendor);
    device.getBusU32Property("pciDeviceID", deviceId);
    device.getBusU32Property("pciSubsystemID", subsystem);
    return modelNames.getModelName(vendor, deviceId, subsystem);
}

// Nothing when the library is absent or cannot place the module; no
// failure leaves it, so that the PCI form can stand in.
std::optional<std::string> chassisForm(qvjsonconfig::DeviceIteratorInterface& device,
                                       IPciModelNameIdentifier& modelNames,
                                       qvqpxi::QPxiLibrary& library) {
    if (!library.isLoaded) return std::nullopt;
    try {
        qvqpxi::DeviceAddress address;
        device.getBusU32Property("pciBusNumber", address.bus);
        device.getBusU32Property("pciDeviceNumber", address.device);
        device.getBusU32Property("pciFunctionNumber", address.function);
        qvqpxi::Session session(0, library);
        qvqpxi::Device item = session.openDeviceByAddr(address);
        const uint32_t chassis = item.getU32Attribute(qvqpxi::kDeviceChassisNumber);
        const uint32_t slot = item.getU32Attribute(qvqpxi::kDeviceSlotNumber);
        if (chassis == qvqpxi::kUnknownNumber || slot == qvqpxi::kUnknownNumber) {
            return std::nullopt;
        }
        return pxiPersistentToken(modelOf(device, modelNames), chassis, slot);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

std::string pxiPersistentToken(const std::string& model, uint32_t chassis, uint32_t slot) {
    return "Model=" + model + ";Chassis=" + std::to_string(chassis) +
           ";Slot=" + std::to_string(slot);
}

std::string pciPersistentToken(const std::string& model, const std::string& slotPath) {
    return "Model=" + model + ";PCISlotPath=" + slotPath;
}

std::string PersistentTokenGeneratorPci::generateToken(
    qvjsonconfig::DeviceIteratorInterface& device) {
    std::string slotPath;
    device.getBusStringProperty("pciSlotPath", slotPath);
    return pciPersistentToken(modelOf(device, *modelNames_), slotPath);
}

std::string PersistentTokenGeneratorPxi::generateToken(
    qvjsonconfig::DeviceIteratorInterface& device) {
    if (auto token = chassisForm(device, *modelNames_, *library_)) return *token;
    return PersistentTokenGeneratorPci(*modelNames_).generateToken(device);
}

}  // namespace qvzek
