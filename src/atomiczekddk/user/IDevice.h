// One module as the FPGA-driver host sees it, and how a device finds
// another by its persistent token. The host was compiled elsewhere and
// calls IDevice by position in the virtual table: the declaration order
// below is binary interface, never reorder, insert or remove a virtual
// function. The destructor pair takes the last two positions.
#pragma once

#include <cstdint>

#include "qvapal/status/tStatus.h"

namespace qvzek {

class IFpgaSession;

inline constexpr uint32_t kDeviceInterfaceVersion = 0;

class IDevice {
public:
    // 0
    virtual uint32_t getInterfaceVersion() = 0;
    // 1; the argument is ignored (callers pass 0).
    virtual const char* getPersistentToken(uint32_t unused) = 0;
    // 2: an opaque value of the module's entry, handed out unchanged.
    virtual uint64_t getEntryValue() = 0;
    // 3 and 4: device attribute 1, kept by the driver.
    virtual void setDeviceAttribute(uint32_t value, nQVAPALS100::tStatus& status) = 0;
    virtual uint32_t getDeviceAttribute() = 0;
    // 5: always 1.
    virtual uint32_t getFixedFlag() = 0;
    // 6
    virtual const char* getDefaultName() = 0;
    // 7: null when aliases are not offered.
    virtual const char* getAlias() = 0;
    // 8
    virtual void setAlias(const char* alias, uint32_t mode, IDevice** previousOwner,
                          nQVAPALS100::tStatus& status) = 0;
    // 9: owned by the caller.
    virtual IFpgaSession* openFpgaSession(uint32_t interfaceVersion,
                                          nQVAPALS100::tStatus& status) = 0;
    // 10 and 11
    virtual ~IDevice() = default;
};

class IDeviceResolver {
public:
    // 0 and 1
    virtual ~IDeviceResolver() = default;
    // 2: the first device whose persistent token equals `identifier` under
    // ASCII case folding, or null.
    virtual IDevice* resolve(const char* identifier) = 0;
};

}  // namespace qvzek
