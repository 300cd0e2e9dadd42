#include "atomiczekddk/user/devicelist/DeviceList.h"

#include "HALUtilities/ErrorHandling.h"
#include "atomiczekddk/aliases/AliasStorageData.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/devicemanager/IDeviceManager.h"
#include "qverr/Status.h"

namespace qvzek {

namespace {

constexpr const char* kComponent = "internal_sdi_hal23u";
constexpr const char* kSourceName = "atomiczekddk/user/devicelist/DeviceList";

void raise(nQVAPALS100::tStatus& status, int32_t code, uint64_t line) {
    status.setCode(code, kComponent, kSourceName, line);
}

}  // namespace

DeviceList::DeviceList(IDeviceManagerCommon* manager, ISessionFactory* factory,
                       IAliasManager* aliases)
    : deviceManager_(manager), sessionFactory_(factory), aliasManager_(aliases) {}

DeviceList::~DeviceList() = default;

uint32_t DeviceList::getInterfaceVersion() {
    return kDeviceListInterfaceVersion;
}

bool DeviceList::hasChanged() {
    try {
        return deviceManager_->hasChanged(changeNumber_);
    } catch (...) {
        // No exception may reach the host; its refresh will report the fault.
        return true;
    }
}

void DeviceList::refresh(nQVAPALS100::tStatus& status) {
    devices_.clear();
    try {
        int64_t changeNumber = -1;
        const DeviceInfoList entries = deviceManager_->getDevices(changeNumber);
        devices_.reserve(entries.size());
        for (const std::shared_ptr<const DeviceInfo>& entry : entries) {
            devices_.push_back(
                std::make_unique<Device>(entry, sessionFactory_, aliasManager_, &resolver_));
        }
        changeNumber_ = changeNumber;
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
}

uint64_t DeviceList::getDeviceCount() {
    return devices_.size();
}

IDevice* DeviceList::getDevice(uint32_t index, int32_t flags, nQVAPALS100::tStatus& status) {
    if (flags != 0) {
        raise(status, kErrorNotSupported, __LINE__);
        return nullptr;
    }
    if (index >= devices_.size()) {
        raise(status, qverr::qvapalerr_invalidParameter, __LINE__);
        return nullptr;
    }
    return devices_[index].get();
}

void DeviceList::release() {
    delete this;
}

void DeviceList::registerChangeCallback(IChangeNotificationHandler* callback,
                                        nQVAPALS100::tStatus& status) {
    if (status.isError()) return;
    if (callback == nullptr) {
        raise(status, qverr::qvapalerr_invalidParameter, __LINE__);
        return;
    }
    try {
        deviceManager_->registerChangeHandler(callback);
        aliasManager_->registerChangeHandler(callback);
        return;
    } catch (...) {
        qv3377hal::storeCurrentException(status, kComponent, kSourceName, __LINE__);
    }
    // Registered with both or with neither.
    try {
        deviceManager_->unregisterChangeHandler(callback);
    } catch (...) {
    }
}

void DeviceList::unregisterChangeCallback(IChangeNotificationHandler* callback) {
    if (callback == nullptr) return;
    try {
        deviceManager_->unregisterChangeHandler(callback);
    } catch (...) {
    }
    try {
        aliasManager_->unregisterChangeHandler(callback);
    } catch (...) {
    }
}

IDevice* DeviceList::DeviceResolver::resolve(const char* identifier) {
    if (identifier == nullptr) return nullptr;
    for (const std::unique_ptr<Device>& device : *devices_) {
        if (equalsIgnoringAsciiCase(device->getPersistentToken(0), identifier)) return device.get();
    }
    return nullptr;
}

}  // namespace qvzek
