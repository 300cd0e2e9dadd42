// The board plug-in's device manager as the device list, the alias
// conflicter and the session factory see it: the modules present, change
// notification, and the shared device proxy and FPGA object of a module.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "atomiczekddk/aliases/Aliases.h"
#include "atomiczekddk/shared/DeviceInfo.h"
#include "atomiczekddk/shared/IChangeNotificationHandler.h"

namespace qvzek {

namespace user {
class Fpga;
}

// A callback without arguments (the device notification observer's).
class ICallbackVoid {
public:
    virtual ~ICallbackVoid() = default;
    virtual void call() = 0;
};

// What the device list needs: the modules and their change notification.
class IDeviceManagerCommon : public IDeviceDiscoverer {
public:
    // Null is ignored; a handler is notified after each rescan.
    virtual void registerChangeHandler(IChangeNotificationHandler* handler) = 0;
    // Removes every registration of `handler`.
    virtual void unregisterChangeHandler(IChangeNotificationHandler* handler) = 0;
};

template <class Proxy>
struct DeviceHandles {
    std::shared_ptr<Proxy> proxy;
    std::shared_ptr<user::Fpga> fpga;
};

template <class Proxy>
class IDeviceManager : public IDeviceManagerCommon {
public:
    // The module's open device proxy and FPGA object, shared with every
    // session on it; -52006 (thrown) for a path the manager does not know.
    virtual std::shared_ptr<Proxy> getDeviceProxy(const std::string& interfacePath) = 0;
    virtual DeviceHandles<Proxy> getDevice(const std::string& interfacePath) = 0;
    // Rescans and notifies every registered handler.
    virtual void onDevicesChanged() = 0;
    // The modules the driver lists now, in its order.
    virtual DeviceInfoList enumerateDevices() = 0;
};

}  // namespace qvzek
