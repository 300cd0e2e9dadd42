// The first object the FPGA-driver host receives: the modules present and
// their change notification. The host was compiled elsewhere and calls it
// by position in the virtual table: the declaration order below is binary
// interface, never reorder, insert or remove a virtual function. The
// destructor pair takes the last two positions.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IDevice;
class IChangeNotificationHandler;

inline constexpr uint32_t kDeviceListInterfaceVersion = 0;

class IDeviceList {
public:
    // 0
    virtual uint32_t getInterfaceVersion() = 0;
    // 1: whether the modules changed since the last successful refresh.
    virtual bool hasChanged() = 0;
    // 2: rebuilds the devices; pointers handed out before are invalid after.
    virtual void refresh(nQVAPALS100::tStatus& status) = 0;
    // 3
    virtual uint64_t getDeviceCount() = 0;
    // 4: the list keeps ownership; `flags` must be 0.
    virtual IDevice* getDevice(uint32_t index, int32_t flags, nQVAPALS100::tStatus& status) = 0;
    // 5: destroys the list.
    virtual void release() = 0;
    // 6: notified on module arrival and removal and on alias changes.
    virtual void registerChangeCallback(IChangeNotificationHandler* callback,
                                        nQVAPALS100::tStatus& status) = 0;
    // 7: never fails.
    virtual void unregisterChangeCallback(IChangeNotificationHandler* callback) = 0;
    // 8 and 9
    virtual ~IDeviceList() = default;
};

}  // namespace qvzek
