#include "AtomicZEKHALImpl/SessionFactoryQrx.h"

#include <string>
#include <vector>

#include "AtomicZEKHALImpl/BitfileQrx.h"
#include "AtomicZEKHALImpl/PersonalityConfigurerQrx.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/DeviceInfo.h"
#include "atomiczekddk/shared/TargetClassChecker.h"
#include "atomiczekddk/user/FlashManager.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/session/Session.h"
#include "qverr/Exception.h"
#include "qvjsonconfig/APALDeviceIterator.h"

namespace atomiczekhal {

namespace {

using Proxy = sdihal::tInterfaceProxy_atomiczekddkqrx;
using DeviceIterator = qvjsonconfig::internal::APALDeviceIteratorWithBusToken<
    qvjsonconfig::internal::APALPersistentTokenPCI>;

const qvzek::DeviceInfo& checkedDevice(const std::shared_ptr<const qvzek::DeviceInfo>& device) {
    if (device == nullptr || device->interfaceName == nullptr) {
        qvzek::throwStatusCode(qverr::qvapalerr_invalidParameter);
    }
    return *device;
}

}  // namespace

std::shared_ptr<qvzek::AttributeHandlerComposite> SessionFactoryQrx::createAttributeHandler(
    const std::shared_ptr<Proxy>& proxy, const qvzek::DeviceInfo& device) {
    DeviceIterator iterator(std::vector<std::string>{device.interfaceName});
    while (true) {
        if (iterator.isEnd()) qvzek::throwStatusCode(kErrorDeviceInterfaceGone);
        if (iterator.getInterfacePath() == device.interfacePath) break;
        iterator.next();
    }
    auto composite = std::make_shared<qvzek::AttributeHandlerComposite>();
    // Each handler goes into the composite the moment it exists, so a later
    // failure releases the ones before it with the composite.
    composite->addHandler(new qvzek::AttributeHandlerDevice(iterator));
    composite->addHandler(new qvzek::AttributeHandlerPci(iterator));
    composite->addHandler(new qvzek::AttributeHandlerPxi(*pxiLibrary_, iterator));
    composite->addHandler(new qvzek::AttributeHandlerNoBrex);
    composite->addHandler(new qvzek::AttributeHandlerTraditionalZek(*composite));
    composite->addHandler(new qvzek::AttributeHandlerInterfaceProxy(proxy));
    return composite;
}

std::unique_ptr<qvzek::user::Session> SessionFactoryQrx::createSession(
    const std::shared_ptr<const qvzek::DeviceInfo>& device, const char* bitfile,
    const char* signature, uint32_t attribute) {
    const qvzek::DeviceInfo& info = checkedDevice(device);
    if (bitfile == nullptr) qvzek::throwStatusCode(qverr::qvapalerr_invalidParameter);
    qvzek::DeviceHandles<Proxy> handles = deviceManager_->getDevice(info.interfacePath);
    auto attributeHandler = createAttributeHandler(handles.proxy, info);
    auto ioAccessor = std::make_shared<qvzek::user::IoAccessorIoctl>(
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_io>(handles.proxy));
    auto image = std::make_shared<const BitfileQrx>(std::string(bitfile));
    // Both are used only while the session opens the image.
    PersonalityConfigurerQrx configurer(handles.proxy, *image, attribute);
    qvzek::TargetClassCheckerDefault checker(attributeHandler);
    return std::make_unique<qvzek::user::SessionWithP2P>(
        handles.fpga, handles.proxy, handles.proxy, configurer, checker, ioAccessor, image,
        signature != nullptr ? signature : "", attribute);
}

std::unique_ptr<qvzek::FpgaSessionTraditional> SessionFactoryQrx::createTraditionalSession(
    const std::shared_ptr<const qvzek::DeviceInfo>& device) {
    const qvzek::DeviceInfo& info = checkedDevice(device);
    std::shared_ptr<Proxy> proxy = deviceManager_->getDevice(info.interfacePath).proxy;
    auto attributeHandler = createAttributeHandler(proxy, info);
    auto flashManager = std::make_shared<qvzek::FlashManager>(
        std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_flash>(proxy));
    return std::make_unique<qvzek::FpgaSessionTraditional>(device, this, attributeHandler,
                                                           flashManager);
}

}  // namespace atomiczekhal
