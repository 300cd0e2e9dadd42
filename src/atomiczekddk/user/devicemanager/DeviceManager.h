// The board plug-in's device manager: which modules the driver lists under
// its FPGA interface, how each is named across reboots (from its PCI
// identity, or from its PXI chassis and slot when the PXI chassis library
// places it), and the open device proxy and FPGA object each module shares
// among its sessions. A notification observer rescans on every arrival or
// removal and tells the registered handlers.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "atomiczekddk/aliases/PersistentTokens.h"
#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "atomiczekddk/user/devicelist/DeviceNotificationObserver.h"
#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "qvapal/quarks/synchronization.h"

namespace qvzek {

// The module's driver proxy, open on its device file for as long as it lives.
template <class Proxy>
class AutoOpenCloseInterfaceProxy : public Proxy {
public:
    // Throws the platform status when the file cannot be opened.
    explicit AutoOpenCloseInterfaceProxy(const std::string& interfacePath);
    // A failed close is ignored: the descriptor is released either way, and
    // the last holder letting go must not end the process.
    ~AutoOpenCloseInterfaceProxy() override;
};

// The PCI and (in the PXI form) PXI identity of one enumerated module.
struct ModuleIdentity {
    std::string persistentToken;
    std::string defaultName;
};

template <class Proxy>
class DeviceManagerTemplate : public IDeviceManager<Proxy>, public ICallbackVoid {
public:
    DeviceManagerTemplate(const char* interfaceName, IPciModelNameIdentifier& identifier);
    DeviceManagerTemplate(const DeviceManagerTemplate&) = delete;
    DeviceManagerTemplate& operator=(const DeviceManagerTemplate&) = delete;
    ~DeviceManagerTemplate() override;

    bool hasChanged(int64_t changeNumber) override;
    DeviceInfoList getDevices(int64_t& changeNumber) override;
    void registerChangeHandler(IChangeNotificationHandler* handler) override;
    void unregisterChangeHandler(IChangeNotificationHandler* handler) override;
    std::shared_ptr<Proxy> getDeviceProxy(const std::string& interfacePath) override;
    // Reuses the module's proxy and FPGA object while someone holds them and
    // the driver still reports the device usable; else opens the file anew.
    DeviceHandles<Proxy> getDevice(const std::string& interfacePath) override;
    void onDevicesChanged() override;
    DeviceInfoList enumerateDevices() override;
    // The observer's callback.
    void call() override { onDevicesChanged(); }

    // Starts watching for arrivals and removals (once).
    void startObserver();

protected:
    // Makes the device map match a fresh enumeration.
    void refresh();
    // The PXI identity of the module at {bus, device, function}; false when
    // there is none (the PCI form is used then). Library errors are thrown.
    virtual bool identifyPxi(uint32_t bus, uint32_t device, uint32_t function,
                             const std::string& model, ModuleIdentity& identity);
    // Joins the observer thread: the most derived destructor calls it before
    // it tears down anything the thread's rescan reaches.
    void stopObserver() { observer_.reset(); }

    // Recursive: the overrides of the PXI form take it again through the
    // base's operations.
    sdihal::nQVAPAL000::tMutex deviceMutex_;

private:
    struct Entry {
        std::shared_ptr<const DeviceInfo> info;
        std::weak_ptr<Proxy> proxy;
        std::weak_ptr<user::Fpga> fpga;
    };

    const char* interfaceName_;
    IPciModelNameIdentifier* identifier_;
    std::map<std::string, Entry> devices_;
    std::unique_ptr<DeviceNotificationObserver> observer_;
    std::list<IChangeNotificationHandler*> handlers_;
    sdihal::nQVAPAL000::tMutex handlerMutex_;
    int64_t changeNumber_ = 0;
};

template <class Proxy>
class DeviceManagerPxiTemplate : public DeviceManagerTemplate<Proxy> {
public:
    DeviceManagerPxiTemplate(const char* interfaceName, IPciModelNameIdentifier& identifier,
                             qvqpxi::QPxiLibrary& pxi);
    ~DeviceManagerPxiTemplate() override;

    // Also true when the PXI session went invalid (the chassis changed).
    bool hasChanged(int64_t changeNumber) override;
    // Rescans first when the PXI session went invalid.
    DeviceInfoList getDevices(int64_t& changeNumber) override;

protected:
    bool identifyPxi(uint32_t bus, uint32_t device, uint32_t function, const std::string& model,
                     ModuleIdentity& identity) override;

private:
    bool pxiSessionInvalid();

    qvqpxi::QPxiLibrary* pxi_;
    std::unique_ptr<qvqpxi::Session> session_;
};

// 0x10000000 | bus << 16 | (0xFF - device) << 8 | function.
uint32_t busAddressCode(uint32_t bus, uint32_t device, uint32_t function);

}  // namespace qvzek
