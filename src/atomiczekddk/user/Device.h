// One module of the device manager as the FPGA-driver host sees it: its
// names, its alias, device attribute 1 and the FPGA sessions opened on it.
// No exception leaves it: failures go to the caller's status.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "atomiczekddk/user/IDevice.h"

namespace qvzek {

struct DeviceInfo;
class ISessionFactory;
class IAliasManager;

// The unread device attribute.
inline constexpr uint32_t kAttributeUnknown = 0xFFFFFFFF;

class Device final : public IDevice {
public:
    // Nothing is owned but a reference to the entry; the others outlive the
    // device.
    Device(std::shared_ptr<const DeviceInfo> entry, ISessionFactory* sessionFactory,
           IAliasManager* aliasManager, IDeviceResolver* resolver);
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    uint32_t getInterfaceVersion() override;
    const char* getPersistentToken(uint32_t unused) override;
    uint64_t getEntryValue() override;
    void setDeviceAttribute(uint32_t value, nQVAPALS100::tStatus& status) override;
    uint32_t getDeviceAttribute() override;
    uint32_t getFixedFlag() override;
    const char* getDefaultName() override;
    const char* getAlias() override;
    void setAlias(const char* alias, uint32_t mode, IDevice** previousOwner,
                  nQVAPALS100::tStatus& status) override;
    IFpgaSession* openFpgaSession(uint32_t interfaceVersion, nQVAPALS100::tStatus& status) override;
    ~Device() override;

private:
    std::shared_ptr<const DeviceInfo> entry_;
    ISessionFactory* sessionFactory_;
    IAliasManager* aliasManager_;
    IDeviceResolver* resolver_;
    uint32_t cachedAttribute_ = kAttributeUnknown;
    std::string alias_;
};

}  // namespace qvzek
