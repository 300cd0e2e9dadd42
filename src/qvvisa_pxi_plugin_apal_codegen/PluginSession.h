// One VISA plug-in session: a device file of the module attached through the
// driver's VISA sub-interface, with the PCI identity read at creation.
// Destroying it detaches (the result is ignored) and closes the file; a
// forked child's copy only closes its descriptor, since the open file it
// would detach is its parent's too.
#pragma once

#include <cstdint>
#include <functional>

#include "HALUtilities/OwningProcess.h"
#include "apal_qv3377k/tInterfaceProxy_visapxipluginapalcodegen.h"
#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"

namespace visapxipluginapalcodegen {

// Bits 47-32 bus, 31-16 device, 15-0 function.
inline uint64_t deviceId(uint32_t bus, uint32_t device, uint32_t function) {
    return (uint64_t{bus & 0xFFFFu} << 32) | (uint64_t{device & 0xFFFFu} << 16) |
           (function & 0xFFFFu);
}

// Calls `visit` with each module interface entry whose PCI address can be
// read, until it returns true. A walk that cannot start is raised.
void walkModules(
    const std::function<bool(const sdihal::nQVAPAL000::tDeviceInterfaceIterator& entry,
                             uint32_t bus, uint32_t device, uint32_t function)>& visit);

class PluginSession : public sdihal::tInterfaceProxy_visapxipluginapalcodegen {
public:
    // Attaches to the module at bus/device/function; 0xBFFF0011 when the
    // driver publishes none there, a driver or platform error when the file
    // cannot be opened or attached.
    PluginSession(uint32_t bus, uint32_t device, uint32_t function);
    ~PluginSession() override;

    // Writes the attribute's value to `value`: a u16, or a text with its
    // terminating 0; 0xBFFF001D for an attribute the plug-in lacks.
    void getAttribute(uint32_t attribute, void* value) const;

    uint32_t vendorId = 0;
    uint32_t modelCode = 0;
    char manufacturerName[256] = {};
    char modelName[256] = {};

private:
    qv3377hal::OwningProcess owner_;
};

}  // namespace visapxipluginapalcodegen
