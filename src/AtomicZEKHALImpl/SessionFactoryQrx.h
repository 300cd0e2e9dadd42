// The session factory of this module's FPGA-driver plug-in: it builds what
// is specific to the module for every FPGA session the driver layer opens
// (the device's attribute handlers, the module's bitfile, the personality
// download, register access) over the device manager's shared proxy and
// FPGA object. It keeps no state of its own, so any thread may call it.
#pragma once

#include <memory>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"

namespace atomiczekhal {

// The device's interface entry is no longer listed by the driver.
inline constexpr int32_t kErrorDeviceInterfaceGone = qvzek::kErrorDeviceUnreachable;

using DeviceManagerQrx = qvzek::IDeviceManager<sdihal::tInterfaceProxy_atomiczekddkqrx>;

class SessionFactoryQrx : public qvzek::ISessionFactory {
public:
    // Neither is owned; both outlive the factory.
    SessionFactoryQrx(DeviceManagerQrx& deviceManager, qvqpxi::QPxiLibrary& pxiLibrary)
        : deviceManager_(&deviceManager), pxiLibrary_(&pxiLibrary) {}
    SessionFactoryQrx(const SessionFactoryQrx&) = delete;
    SessionFactoryQrx& operator=(const SessionFactoryQrx&) = delete;

    // -52006 for a path the device manager does not know, -63036 when the
    // driver no longer lists it, the bitfile's own errors; all thrown.
    std::unique_ptr<qvzek::user::Session> createSession(
        const std::shared_ptr<const qvzek::DeviceInfo>& device, const char* bitfile,
        const char* signature, uint32_t attribute) override;
    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const qvzek::DeviceInfo>& device) override;
    ~SessionFactoryQrx() override = default;

    // The device's handlers, in the order they are asked: device and bus
    // properties, PXI place, the fixed answers, the traditional session's
    // owner text, the driver's own attributes.
    std::shared_ptr<qvzek::AttributeHandlerComposite> createAttributeHandler(
        const std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx>& proxy,
        const qvzek::DeviceInfo& device);

private:
    DeviceManagerQrx* deviceManager_;
    qvqpxi::QPxiLibrary* pxiLibrary_;
};

}  // namespace atomiczekhal
