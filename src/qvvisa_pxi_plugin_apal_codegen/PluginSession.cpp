#include "qvvisa_pxi_plugin_apal_codegen/PluginSession.h"

#include <cstring>

#include "qverr/Exception.h"
#include "qvvisa_pxi_plugin_apal_codegen/PluginHelper.h"

namespace visapxipluginapalcodegen {
namespace {

using sdihal::nQVAPAL000::tDeviceInterfaceIterator;

// A 4-byte bus property; false when it cannot be read or has another size.
bool busNumber(const tDeviceInterfaceIterator& entry, const char* name, uint32_t& value) {
    nQVAPALS100::tStatus status;
    uint32_t read = 0;
    uint64_t size = 0;
    entry.getBusProperty(name, &read, sizeof read, &size, status);
    if (status.isError() || size != sizeof read) return false;
    value = read;
    return true;
}

// A device property as text; a longer one than the field holds leaves it.
void deviceText(const tDeviceInterfaceIterator& entry, const char* name, char (&field)[256]) {
    nQVAPALS100::tStatus status;
    char read[sizeof field - 1];
    uint64_t size = 0;
    entry.getDeviceProperty(name, read, sizeof read, &size, status);
    if (status.isError() || size > sizeof read) return;
    std::memcpy(field, read, size);
    field[size] = '\0';
}

}  // namespace

void walkModules(const std::function<bool(const tDeviceInterfaceIterator& entry, uint32_t bus,
                                          uint32_t device, uint32_t function)>& visit) {
    nQVAPALS100::tStatus status;
    tDeviceInterfaceIterator entry(PluginSession::kInterfaceName, status);
    qverr::throwIfTStatusError(status);
    for (; !entry.isEnd(); entry.next()) {
        uint32_t bus = 0, device = 0, function = 0;
        if (!busNumber(entry, "pciBusNumber", bus) ||
            !busNumber(entry, "pciDeviceNumber", device) ||
            !busNumber(entry, "pciFunctionNumber", function)) {
            continue;
        }
        if (visit(entry, bus, device, function)) return;
    }
}

PluginSession::PluginSession(uint32_t bus, uint32_t device, uint32_t function) {
    sdihal::nQVAPAL000::tInterfacePath path;
    // The identity is kept aside until the session is attached.
    uint32_t subsystemVendor = 0, subsystemModel = 0, vendor = 0, model = 0;
    char manufacturer[256] = {}, name[256] = {};
    bool found = false;
    walkModules([&](const tDeviceInterfaceIterator& entry, uint32_t b, uint32_t d, uint32_t f) {
        if (b != bus || d != device || f != function) return false;
        found = true;
        nQVAPALS100::tStatus status;
        entry.getInterfacePath(path, status);
        qverr::throwIfTStatusError(status);
        busNumber(entry, "pciSubsystemVendorID", subsystemVendor);
        busNumber(entry, "pciSubsystemID", subsystemModel);
        busNumber(entry, "pciVendorID", vendor);
        busNumber(entry, "pciDeviceID", model);
        deviceText(entry, "manufacturerName", manufacturer);
        deviceText(entry, "modelName", name);
        return true;
    });
    if (!found) throwVisa(kViErrorResourceNotFound, "PluginSession", 53);

    nQVAPALS100::tStatus status;
    open(path, status);
    openSession(status);
    if (status.isError()) {
        // Never attached: the file is closed without a detach request.
        close();
        qverr::throwIfTStatusError(status);
    }
    vendorId = subsystemVendor != 0 ? subsystemVendor : vendor;
    modelCode = subsystemVendor != 0 ? subsystemModel : model;
    std::memcpy(manufacturerName, manufacturer, sizeof manufacturerName);
    std::memcpy(modelName, name, sizeof modelName);
}

PluginSession::~PluginSession() {
    // Closed, the file gets no detach request from the proxy.
    if (!owner_.isCurrent()) close();
}

void PluginSession::getAttribute(uint32_t attribute, void* value) const {
    auto writeU16 = [value](uint32_t word) {
        const auto half = static_cast<uint16_t>(word & 0xFFFFu);
        std::memcpy(value, &half, sizeof half);
    };
    switch (attribute) {
        case kAttributeZeroA:
        case kAttributeZeroB:
            writeU16(0);
            return;
        case kAttributeVendorId:
            writeU16(vendorId);
            return;
        case kAttributeModelCode:
            writeU16(modelCode);
            return;
        case kAttributeManufacturerName:
            std::memcpy(value, manufacturerName, std::strlen(manufacturerName) + 1);
            return;
        case kAttributeModelName:
            std::memcpy(value, modelName, std::strlen(modelName) + 1);
            return;
        default:
            throwVisa(kViErrorAttributeNotSupported, "PluginSession", 116);
    }
}

}  // namespace visapxipluginapalcodegen
