#include "atomiczekddk/user/handlers/AttributeHandlers.h"

#include <cstdio>

#include "atomiczekddk/bitfile/OwnerCodes.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "qverr/Exception.h"

namespace qvzek {

namespace {

constexpr uint32_t kNotHandled = 0xFFFFFFFF;

void set(bool* handled, bool value) {
    if (handled != nullptr) *handled = value;
}

uint32_t answer(bool* handled, uint32_t value) {
    set(handled, true);
    return value;
}

void answerText(bool* handled, const std::string& text, char* buffer, uint32_t bufferSize,
                uint32_t* length) {
    set(handled, true);
    copyStringToBuffer(text, buffer, bufferSize, length);
}

std::string requiredText(qvjsonconfig::DeviceIteratorInterface& device, const char* name) {
    std::string text;
    device.getDeviceStringProperty(name, text);
    if (text.empty()) throwStatusCode(kErrorAttributeNotServed);
    return text;
}

// A property the driver may not publish: `absent` then.
template <class Read>
uint32_t optionalU32(Read&& read, uint32_t absent) {
    uint32_t value = 0;
    try {
        read(value);
    } catch (const qverr::ExceptionBase& e) {
        if (e.status.code != qverr::qvapalerr_resourceNotFound) throw;
        return absent;
    }
    return value;
}

}  // namespace

uint32_t AttributeHandlerComposite::getU32Attribute(uint32_t id, bool* handled) {
    bool taken = false;
    for (auto& handler : handlers_) {
        const uint32_t value = handler->getU32Attribute(id, &taken);
        if (taken) return answer(handled, value);
    }
    set(handled, false);
    return kNotHandled;
}

void AttributeHandlerComposite::getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize,
                                                   uint32_t* length, bool* handled) {
    bool taken = false;
    for (auto& handler : handlers_) {
        handler->getStringAttribute(id, buffer, bufferSize, length, &taken);
        if (taken) break;
    }
    set(handled, taken);
}

void AttributeHandlerComposite::setU32Attribute(uint32_t id, uint32_t value, bool* handled) {
    bool taken = false;
    for (auto& handler : handlers_) {
        handler->setU32Attribute(id, value, &taken);
        if (taken) break;
    }
    set(handled, taken);
}

void AttributeHandlerComposite::setStringAttribute(uint32_t id, const char* value, bool* handled) {
    bool taken = false;
    for (auto& handler : handlers_) {
        handler->setStringAttribute(id, value, &taken);
        if (taken) break;
    }
    set(handled, taken);
}

uint32_t AttributeHandlerNone::getU32Attribute(uint32_t, bool* handled) {
    set(handled, false);
    return kNotHandled;
}
void AttributeHandlerNone::getStringAttribute(uint32_t, char*, uint32_t, uint32_t*, bool* handled) {
    set(handled, false);
}
void AttributeHandlerNone::setU32Attribute(uint32_t, uint32_t, bool* handled) {
    set(handled, false);
}
void AttributeHandlerNone::setStringAttribute(uint32_t, const char*, bool* handled) {
    set(handled, false);
}

AttributeHandlerDevice::AttributeHandlerDevice(qvjsonconfig::DeviceIteratorInterface& device) {
    serialNumber_ = requiredText(device, "serialNumber");
    numberOfSlots_ =
        optionalU32([&](uint32_t& v) { device.getDeviceU32Property("zekNumberOfSlots", v); }, 0);
    uint32_t busType = 0;
    device.getBusU32Property("busType", busType);
    busKind_ = busType == kBusTypePci   ? kBusKindPci
               : busType == kBusTypeUsb ? kBusKindUsb
                                        : kBusKindOther;
    productName_ = requiredText(device, "zekProductName");
    fpgaTargetClass_ = requiredText(device, "zekFpgaTargetClass");
    numaNode_ =
        optionalU32([&](uint32_t& v) { device.getBusU32Property("numaNode", v); }, 0xFFFFFFFF);
    device.getDeviceStringProperty("zekHardwareRevision", hardwareRevision_);
}

uint32_t AttributeHandlerDevice::getU32Attribute(uint32_t id, bool* handled) {
    switch (id) {
        case 4:
            // Base 16 as stoul reads it; the value is cut to 32 bits.
            return answer(handled, static_cast<uint32_t>(std::stoul(serialNumber_, nullptr, 16)));
        case 73:
            return answer(handled, numberOfSlots_);
        case 74:
            return answer(handled, busKind_);
        case 91:
            return answer(handled, 0);
        case 92:
            return answer(handled, numaNode_);
        default:
            return AttributeHandlerNone::getU32Attribute(id, handled);
    }
}

void AttributeHandlerDevice::getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize,
                                                uint32_t* length, bool* handled) {
    const std::string* text = id == 0                           ? &productName_
                              : id == kAttributeFpgaTargetClass ? &fpgaTargetClass_
                              : id == 18                        ? &serialNumber_
                              : id == 19                        ? &hardwareRevision_
                                                                : nullptr;
    if (text == nullptr)
        return AttributeHandlerNone::getStringAttribute(id, buffer, bufferSize, length, handled);
    answerText(handled, *text, buffer, bufferSize, length);
}

AttributeHandlerPci::AttributeHandlerPci(qvjsonconfig::DeviceIteratorInterface& device)
    : pci_(readPciIdentity(device)) {}

uint32_t AttributeHandlerPci::getU32Attribute(uint32_t id, bool* handled) {
    switch (id) {
        case 2:
            return answer(handled, pci_.subsystemId);
        case 3:
            return answer(handled, pci_.vendorId);
        case 10:
            return answer(handled, pci_.bus);
        case 11:
            return answer(handled, pci_.device);
        case 12:
            return answer(handled, pci_.function);
        default:
            return AttributeHandlerNone::getU32Attribute(id, handled);
    }
}

void AttributeHandlerPci::getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize,
                                             uint32_t* length, bool* handled) {
    if (id != 9)
        return AttributeHandlerNone::getStringAttribute(id, buffer, bufferSize, length, handled);
    answerText(handled, "", buffer, bufferSize, length);
}

AttributeHandlerPxi::AttributeHandlerPxi(qvqpxi::QPxiLibrary& library,
                                         qvjsonconfig::DeviceIteratorInterface& device)
    : library_(&library) {
    if (library.isLoaded) session_ = std::make_unique<qvqpxi::Session>(0, library);
    device.getBusU32Property("pciBusNumber", busNumber_);
    device.getBusU32Property("pciDeviceNumber", deviceNumber_);
    device.getBusU32Property("pciFunctionNumber", functionNumber_);
}

qvqpxi::Device AttributeHandlerPxi::findDevice() {
    if (!library_->isLoaded) {
        QVERR_THROW("internal_sdi_hal23u", qverr::qvapalerr_resourceNotInitialized,
                    "qvapalerr_resourceNotInitialized");
    }
    if (!session_ || session_->getU32Attribute(qvqpxi::kSessionValid) == 0) {
        session_ = std::make_unique<qvqpxi::Session>(0, *library_);
    }
    return session_->openDeviceByAddr({0, busNumber_, deviceNumber_, functionNumber_});
}

uint32_t AttributeHandlerPxi::getU32Attribute(uint32_t id, bool* handled) {
    if (id != 27 && id != 28 && id != 30) return AttributeHandlerNone::getU32Attribute(id, handled);
    sdihal::nQVAPAL000::tMutexLock lock(mutex_);
    try {
        qvqpxi::Device device = findDevice();
        if (id == 27) return answer(handled, device.getU32Attribute(qvqpxi::kDeviceChassisNumber));
        if (id == 28) return answer(handled, device.getU32Attribute(qvqpxi::kDeviceSlotNumber));
        return answer(handled,
                      device.openContainingSlot().getU32Attribute(qvqpxi::kSlotAttribute2005));
    } catch (const qverr::ExceptionBase&) {
        return answer(handled, kNotHandled);
    }
}

void AttributeHandlerPxi::getStringAttribute(uint32_t id, char* buffer, uint32_t bufferSize,
                                             uint32_t* length, bool* handled) {
    if (id != 5)
        return AttributeHandlerNone::getStringAttribute(id, buffer, bufferSize, length, handled);
    std::string text;
    {
        sdihal::nQVAPAL000::tMutexLock lock(mutex_);
        try {
            char name[16];
            snprintf(name, sizeof name, "PXI%d",
                     static_cast<int>(findDevice().getU32Attribute(qvqpxi::kDeviceChassisNumber)));
            text = name;
        } catch (const qverr::ExceptionBase&) {
        }
    }
    answerText(handled, text, buffer, bufferSize, length);
}

uint32_t AttributeHandlerInterfaceProxy::getU32Attribute(uint32_t id, bool* handled) {
    if (id != 1 && id != 48 && id != 84) return AttributeHandlerNone::getU32Attribute(id, handled);
    nQVAPALS100::tStatus status;
    const uint32_t value = proxy_->getAttribute(id, status);
    if (status.getCode() == kErrorAttributeNotServed)
        return AttributeHandlerNone::getU32Attribute(id, handled);
    qverr::throwIfTStatusError(status);
    return answer(handled, value);
}

void AttributeHandlerInterfaceProxy::setU32Attribute(uint32_t id, uint32_t value, bool* handled) {
    if (id != 1 && id != 84) return AttributeHandlerNone::setU32Attribute(id, value, handled);
    nQVAPALS100::tStatus status;
    proxy_->setAttribute(id, value, status);
    if (status.getCode() == kErrorAttributeNotServed)
        return AttributeHandlerNone::setU32Attribute(id, value, handled);
    qverr::throwIfTStatusError(status);
    set(handled, true);
}

uint32_t AttributeHandlerTraditionalZek::getU32Attribute(uint32_t id, bool* handled) {
    switch (id) {
        case 6:
        case 75:
        case 81:
            return answer(handled, 0);
        case 14:
            return answer(handled, 389080847);
        case 15:
            return answer(handled, 33603584);
        case 16:
            return answer(handled, userFlag_);
        case 36:
        case 58:
        case 79:
        case 82:
            return answer(handled, 1);
        default:
            return AttributeHandlerNone::getU32Attribute(id, handled);
    }
}

void AttributeHandlerTraditionalZek::getStringAttribute(uint32_t id, char* buffer,
                                                        uint32_t bufferSize, uint32_t* length,
                                                        bool* handled) {
    set(handled, true);
    bool taken = false;
    std::string text;
    if (id == 2) {
        const uint32_t value = composite_->getU32Attribute(1, &taken);
        text = "ZEK" + std::to_string(value);
    } else if (id == 1) {
        const uint32_t code = composite_->getU32Attribute(84, &taken);
        if (taken) text = codeToOwnerText(static_cast<int32_t>(code));
    } else if (id == 4) {
        const uint32_t value = composite_->getU32Attribute(2, &taken);
        char hex[11];
        snprintf(hex, sizeof hex, "0x%04X", value);
        text = hex;
    } else {
        set(handled, false);
        return;
    }
    set(handled, taken);
    if (taken) copyStringToBuffer(text, buffer, bufferSize, length);
}

void AttributeHandlerTraditionalZek::setU32Attribute(uint32_t id, uint32_t value, bool* handled) {
    switch (id) {
        case 17:
        case 23:
        case 35:
        case 37:
        case 38:
        case 39:
        case 45:
            set(handled, true);
            return;
        case 16:
            if (value > 1) throwStatusCode(kErrorInvalidAttributeValue);
            userFlag_ = value;
            set(handled, true);
            return;
        default:
            AttributeHandlerNone::setU32Attribute(id, value, handled);
    }
}

void AttributeHandlerTraditionalZek::setStringAttribute(uint32_t id, const char* value,
                                                        bool* handled) {
    if (id == 1) {
        const int32_t code = ownerTextToCode(value != nullptr ? value : "");
        composite_->setU32Attribute(84, static_cast<uint32_t>(code), handled);
    } else if (id == 3) {
        set(handled, true);
    } else {
        AttributeHandlerNone::setStringAttribute(id, value, handled);
    }
}

uint32_t AttributeHandlerNoBrex::getU32Attribute(uint32_t id, bool* handled) {
    if (id == 80) return answer(handled, kNotHandled);
    return AttributeHandlerNone::getU32Attribute(id, handled);
}

}  // namespace qvzek
