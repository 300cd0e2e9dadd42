#include "atomiczekddk/user/devicemanager/DeviceManager.h"

#include <set>

#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/fifo/FifoFactory.h"
#include "atomiczekddk/user/session/Fpga.h"
#include "qverr/Exception.h"
#include "qvjsonconfig/APALDeviceIterator.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";

using InterfaceIterator = qvjsonconfig::internal::APALDeviceIteratorWithBusToken<
    qvjsonconfig::internal::APALPersistentTokenPCI>;

// The driver's "device usable" byte of the state flag.
constexpr uint32_t kStateUsableMask = 0xFF;

}  // namespace

uint32_t busAddressCode(uint32_t bus, uint32_t device, uint32_t function) {
    return 0x10000000u | (bus << 16) | ((0xFFu - device) << 8) | function;
}

// ---- AutoOpenCloseInterfaceProxy

template <class Proxy>
AutoOpenCloseInterfaceProxy<Proxy>::AutoOpenCloseInterfaceProxy(const std::string& interfacePath) {
    nQVAPALS100::tStatus status;
    this->open(interfacePath.c_str(), status);
    qverr::throwIfTStatusError(status);
}

template <class Proxy>
AutoOpenCloseInterfaceProxy<Proxy>::~AutoOpenCloseInterfaceProxy() {
    (void)this->close();
}

// ---- DeviceManagerTemplate

template <class Proxy>
DeviceManagerTemplate<Proxy>::DeviceManagerTemplate(const char* interfaceName,
                                                    IPciModelNameIdentifier& identifier)
    : interfaceName_(interfaceName),
      identifier_(&identifier),
      observer_(
          std::make_unique<DeviceNotificationObserver>(std::vector<std::string>{interfaceName})) {}

template <class Proxy>
DeviceManagerTemplate<Proxy>::~DeviceManagerTemplate() {
    stopObserver();
}

template <class Proxy>
void DeviceManagerTemplate<Proxy>::startObserver() {
    observer_->start(this);
}

template <class Proxy>
bool DeviceManagerTemplate<Proxy>::hasChanged(int64_t changeNumber) {
    sdihal::nQVAPAL000::tMutexLock lock(deviceMutex_);
    return changeNumber_ != changeNumber;
}

template <class Proxy>
DeviceInfoList DeviceManagerTemplate<Proxy>::getDevices(int64_t& changeNumber) {
    sdihal::nQVAPAL000::tMutexLock lock(deviceMutex_);
    DeviceInfoList list;
    list.reserve(devices_.size());
    for (const auto& item : devices_) list.push_back(item.second.info);
    changeNumber = changeNumber_;
    return list;
}

template <class Proxy>
void DeviceManagerTemplate<Proxy>::registerChangeHandler(IChangeNotificationHandler* handler) {
    if (handler == nullptr) return;
    sdihal::nQVAPAL000::tMutexLock lock(handlerMutex_);
    handlers_.push_back(handler);
}

template <class Proxy>
void DeviceManagerTemplate<Proxy>::unregisterChangeHandler(IChangeNotificationHandler* handler) {
    sdihal::nQVAPAL000::tMutexLock lock(handlerMutex_);
    handlers_.remove(handler);
}

template <class Proxy>
std::shared_ptr<Proxy> DeviceManagerTemplate<Proxy>::getDeviceProxy(
    const std::string& interfacePath) {
    return getDevice(interfacePath).proxy;
}

template <class Proxy>
DeviceHandles<Proxy> DeviceManagerTemplate<Proxy>::getDevice(const std::string& interfacePath) {
    sdihal::nQVAPAL000::tMutexLock lock(deviceMutex_);
    const auto found = devices_.find(interfacePath);
    if (found == devices_.end()) {
        QVERR_THROW(kComponent, qverr::qvapalerr_resourceNotFound, "qvapalerr_resourceNotFound");
    }
    Entry& entry = found->second;
    DeviceHandles<Proxy> handles{entry.proxy.lock(), entry.fpga.lock()};
    bool reopened = false;
    if (handles.proxy != nullptr) {
        // The driver clears the flag when the device went away or was reset
        // under the open file.
        nQVAPALS100::tStatus status;
        const uint32_t flag =
            static_cast<sdihal::iInterfaceProxy_atomiczekddk_attribute&>(*handles.proxy)
                .getStateFlag(status);
        if ((flag & kStateUsableMask) == 0 || status.isError()) handles.proxy.reset();
    }
    if (handles.proxy == nullptr) {
        handles.proxy = std::make_shared<AutoOpenCloseInterfaceProxy<Proxy>>(interfacePath);
        entry.proxy = handles.proxy;
        reopened = true;
    }
    if (reopened || handles.fpga == nullptr) {
        auto fifoFactory = std::make_shared<FifoFactory>(handles.proxy);
        handles.fpga = std::make_shared<user::Fpga>(handles.proxy, fifoFactory);
        entry.fpga = handles.fpga;
    }
    return handles;
}

template <class Proxy>
void DeviceManagerTemplate<Proxy>::onDevicesChanged() {
    refresh();
    sdihal::nQVAPAL000::tMutexLock lock(handlerMutex_);
    for (IChangeNotificationHandler* handler : handlers_) handler->notify();
}

template <class Proxy>
void DeviceManagerTemplate<Proxy>::refresh() {
    sdihal::nQVAPAL000::tMutexLock lock(deviceMutex_);
    const DeviceInfoList fresh = enumerateDevices();
    std::set<std::string> tokens, paths;
    for (const auto& info : fresh) {
        tokens.insert(info->persistentToken);
        paths.insert(info->interfacePath);
    }
    // A module that moved to another interface path keeps its token: its
    // entry under the old path goes as well, or it would stay listed twice.
    std::erase_if(devices_, [&](const auto& item) {
        return tokens.count(item.second.info->persistentToken) == 0 || paths.count(item.first) == 0;
    });
    for (const auto& info : fresh) devices_.try_emplace(info->interfacePath, Entry{info, {}, {}});
    ++changeNumber_;
}

template <class Proxy>
DeviceInfoList DeviceManagerTemplate<Proxy>::enumerateDevices() {
    DeviceInfoList found;
    InterfaceIterator it(std::vector<std::string>{interfaceName_});
    for (; !it.isEnd(); it.next()) {
        try {
            const PciIdentity pci = readPciIdentity(it);
            const std::string model =
                identifier_->getModelName(pci.vendorId, pci.deviceId, pci.subsystemId);
            ModuleIdentity identity;
            if (!identifyPxi(pci.bus, pci.device, pci.function, model, identity)) {
                std::string slotPath;
                it.getBusStringProperty("pciSlotPath", slotPath);
                identity.persistentToken = pciPersistentToken(model, slotPath);
                identity.defaultName.clear();
            }
            auto info = std::make_shared<DeviceInfo>();
            info->persistentToken = std::move(identity.persistentToken);
            info->defaultName = std::move(identity.defaultName);
            info->busAddressCode = busAddressCode(pci.bus, pci.device, pci.function);
            info->interfacePath = it.getInterfacePath();
            info->interfaceName = interfaceName_;
            found.push_back(std::move(info));
        } catch (...) {
            // A module whose identity cannot be read is left out.
        }
    }
    return found;
}

template <class Proxy>
bool DeviceManagerTemplate<Proxy>::identifyPxi(uint32_t, uint32_t, uint32_t, const std::string&,
                                               ModuleIdentity&) {
    return false;
}

// ---- DeviceManagerPxiTemplate

template <class Proxy>
DeviceManagerPxiTemplate<Proxy>::DeviceManagerPxiTemplate(const char* interfaceName,
                                                          IPciModelNameIdentifier& identifier,
                                                          qvqpxi::QPxiLibrary& pxi)
    : DeviceManagerTemplate<Proxy>(interfaceName, identifier), pxi_(&pxi) {
    if (!pxi_->isLoaded) return;
    try {
        session_ = std::make_unique<qvqpxi::Session>(0, *pxi_);
    } catch (...) {
        // Without a session now, the next enumeration opens one.
    }
}

template <class Proxy>
DeviceManagerPxiTemplate<Proxy>::~DeviceManagerPxiTemplate() {
    // The observer's rescan reaches the PXI session: join it first.
    this->stopObserver();
}

template <class Proxy>
bool DeviceManagerPxiTemplate<Proxy>::pxiSessionInvalid() {
    if (session_ == nullptr) return true;
    try {
        return session_->getU32Attribute(qvqpxi::kSessionValid) == 0;
    } catch (...) {
        return true;
    }
}

template <class Proxy>
bool DeviceManagerPxiTemplate<Proxy>::hasChanged(int64_t changeNumber) {
    sdihal::nQVAPAL000::tMutexLock lock(this->deviceMutex_);
    if (DeviceManagerTemplate<Proxy>::hasChanged(changeNumber)) return true;
    return pxi_->isLoaded && pxiSessionInvalid();
}

template <class Proxy>
DeviceInfoList DeviceManagerPxiTemplate<Proxy>::getDevices(int64_t& changeNumber) {
    sdihal::nQVAPAL000::tMutexLock lock(this->deviceMutex_);
    if (pxi_->isLoaded && pxiSessionInvalid()) this->refresh();
    return DeviceManagerTemplate<Proxy>::getDevices(changeNumber);
}

template <class Proxy>
bool DeviceManagerPxiTemplate<Proxy>::identifyPxi(uint32_t bus, uint32_t device, uint32_t function,
                                                  const std::string& model,
                                                  ModuleIdentity& identity) {
    if (!pxi_->isLoaded) return false;
    sdihal::nQVAPAL000::tMutexLock lock(this->deviceMutex_);
    if (pxiSessionInvalid()) {
        session_.reset();
        session_ = std::make_unique<qvqpxi::Session>(0, *pxi_);
    }
    uint32_t chassis = 0, slot = 0;
    {
        qvqpxi::Device item =
            session_->openDeviceByAddr(qvqpxi::DeviceAddress{0, bus, device, function});
        chassis = item.getU32Attribute(qvqpxi::kDeviceChassisNumber);
        slot = item.getU32Attribute(qvqpxi::kDeviceSlotNumber);
    }
    if (chassis == qvqpxi::kUnknownNumber || slot == qvqpxi::kUnknownNumber) return false;
    identity.persistentToken = pxiPersistentToken(model, chassis, slot);
    identity.defaultName = "PXI" + std::to_string(chassis) + "Slot" + std::to_string(slot);
    return true;
}

template class AutoOpenCloseInterfaceProxy<sdihal::tInterfaceProxy_atomiczekddkqrx>;
template class DeviceManagerTemplate<sdihal::tInterfaceProxy_atomiczekddkqrx>;
template class DeviceManagerPxiTemplate<sdihal::tInterfaceProxy_atomiczekddkqrx>;

}  // namespace qvzek
