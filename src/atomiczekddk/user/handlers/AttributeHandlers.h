// The device attribute handlers: the module's device and bus properties,
// its place in a PXI chassis, the driver's own attributes, and the fixed
// answers a traditional FPGA session gives. The composite asks its handlers
// in the order they were added; the first that serves an id answers it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "apal_qv3377k/iInterfaceProxy_atomiczekddk.h"
#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/IAttributeHandler.h"
#include "qvapal/quarks/synchronization.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvzek {

// The bus property "busType": the bus's name in four ASCII letters read as a
// little-endian u32 ("pci ", "usb "), and the bus kind each one gives.
inline constexpr uint32_t kBusTypePci = 0x20706369;
inline constexpr uint32_t kBusTypeUsb = 0x20757362;
inline constexpr uint32_t kBusKindOther = 0;
inline constexpr uint32_t kBusKindPci = 1;
inline constexpr uint32_t kBusKindUsb = 3;

class AttributeHandlerComposite : public IAttributeHandler {
public:
    // Takes ownership.
    void addHandler(IAttributeHandler* handler) { handlers_.emplace_back(handler); }

    QVZEK_ATTRIBUTE_GET_OVERRIDES
    QVZEK_ATTRIBUTE_SET_OVERRIDES

private:
    std::vector<std::unique_ptr<IAttributeHandler>> handlers_;
};

// Serves nothing; the base of the handlers below.
class AttributeHandlerNone : public IAttributeHandler {
public:
    QVZEK_ATTRIBUTE_GET_OVERRIDES
    QVZEK_ATTRIBUTE_SET_OVERRIDES
};

class AttributeHandlerDevice : public AttributeHandlerNone {
public:
    // Reads the properties at once; an empty serial number, product name or
    // FPGA target class gives -63196.
    explicit AttributeHandlerDevice(qvjsonconfig::DeviceIteratorInterface& device);
    QVZEK_ATTRIBUTE_GET_OVERRIDES

private:
    std::string serialNumber_;
    uint32_t numberOfSlots_ = 0;
    uint32_t busKind_ = 0;
    std::string productName_;
    std::string fpgaTargetClass_;
    uint32_t numaNode_ = 0xFFFFFFFF;
    std::string hardwareRevision_;
};

class AttributeHandlerPci : public AttributeHandlerNone {
public:
    explicit AttributeHandlerPci(qvjsonconfig::DeviceIteratorInterface& device);
    QVZEK_ATTRIBUTE_GET_OVERRIDES

private:
    PciIdentity pci_;
};

// The module's chassis and slot. Without the PXI library the numbers read
// 0xFFFFFFFF and the chassis name is empty.
class AttributeHandlerPxi : public AttributeHandlerNone {
public:
    AttributeHandlerPxi(qvqpxi::QPxiLibrary& library,
                        qvjsonconfig::DeviceIteratorInterface& device);
    QVZEK_ATTRIBUTE_GET_OVERRIDES

private:
    // The module's device item, on a session reopened when it went stale.
    qvqpxi::Device findDevice();

    qvqpxi::QPxiLibrary* library_;
    std::unique_ptr<qvqpxi::Session> session_;
    uint32_t busNumber_ = 0;
    uint32_t deviceNumber_ = 0;
    uint32_t functionNumber_ = 0;
    sdihal::nQVAPAL000::tMutex mutex_;
};

// The driver's attributes 1, 48 and 84.
class AttributeHandlerInterfaceProxy : public AttributeHandlerNone {
public:
    explicit AttributeHandlerInterfaceProxy(
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_attribute> proxy)
        : proxy_(std::move(proxy)) {}
    uint32_t getU32Attribute(uint32_t id, bool* handled) override;
    void setU32Attribute(uint32_t id, uint32_t value, bool* handled) override;

private:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_attribute> proxy_;
};

class AttributeHandlerTraditionalZek : public AttributeHandlerNone {
public:
    // Asks `composite` (not owned) for the driver's attributes.
    explicit AttributeHandlerTraditionalZek(IAttributeHandler& composite)
        : composite_(&composite) {}
    QVZEK_ATTRIBUTE_GET_OVERRIDES
    QVZEK_ATTRIBUTE_SET_OVERRIDES

private:
    IAttributeHandler* composite_;
    uint32_t userFlag_ = 0;
};

class AttributeHandlerNoBrex : public AttributeHandlerNone {
public:
    uint32_t getU32Attribute(uint32_t id, bool* handled) override;
};

}  // namespace qvzek
