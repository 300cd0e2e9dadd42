// The device list handed to the FPGA-driver host: one Device per module of
// the device manager as of the last refresh, and the host's change callback
// passed on to the device manager (arrival, removal) and to the alias
// manager (alias changes). The host calls it from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "atomiczekddk/user/Device.h"
#include "atomiczekddk/user/devicelist/IDeviceList.h"

namespace qvzek {

class IDeviceManagerCommon;
class ISessionFactory;
class IAliasManager;

class DeviceList final : public IDeviceList {
public:
    // Nothing is owned; all three outlive the list.
    DeviceList(IDeviceManagerCommon* manager, ISessionFactory* factory, IAliasManager* aliases);
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    uint32_t getInterfaceVersion() override;
    bool hasChanged() override;
    void refresh(nQVAPALS100::tStatus& status) override;
    uint64_t getDeviceCount() override;
    IDevice* getDevice(uint32_t index, int32_t flags, nQVAPALS100::tStatus& status) override;
    void release() override;
    void registerChangeCallback(IChangeNotificationHandler* callback,
                                nQVAPALS100::tStatus& status) override;
    void unregisterChangeCallback(IChangeNotificationHandler* callback) override;
    ~DeviceList() override;

    // Finds a device of this list by its persistent token; every device
    // holds it to name the device an alias was taken from.
    class DeviceResolver final : public IDeviceResolver {
    public:
        explicit DeviceResolver(const std::vector<std::unique_ptr<Device>>& devices)
            : devices_(&devices) {}
        IDevice* resolve(const char* identifier) override;

    private:
        const std::vector<std::unique_ptr<Device>>* devices_;
    };

    IDeviceResolver& resolver() { return resolver_; }

private:
    IDeviceManagerCommon* deviceManager_;
    // The device manager's change number at the last successful refresh.
    int64_t changeNumber_ = -1;
    ISessionFactory* sessionFactory_;
    IAliasManager* aliasManager_;
    std::vector<std::unique_ptr<Device>> devices_;
    DeviceResolver resolver_{devices_};
};

}  // namespace qvzek
