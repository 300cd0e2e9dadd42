// The device iterator the configuration walks: the kernel driver's device
// interfaces through the platform iterator, their bus and device property
// files, and a persistent token made by the Token policy.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qvapal/protons/enumeration/tDeviceInterfaceIterator.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvjsonconfig::internal {

// The token of a PCI board: vendor, device, subsystem and revision in
// hexadecimal, then the driver's "pciSlotPath" property.
struct APALPersistentTokenPCI {
    static std::string getPersistentToken(const sdihal::nQVAPAL000::tDeviceInterfaceIterator& it);
};

// Everything but the token; every failure throws qverr::Exception.
class APALDeviceIteratorBase : public DeviceIteratorInterface {
public:
    // Walks the interfaces named by the first name of the list.
    explicit APALDeviceIteratorBase(const std::vector<std::string>& interfaceNames);
    APALDeviceIteratorBase(const APALDeviceIteratorBase&) = delete;
    APALDeviceIteratorBase& operator=(const APALDeviceIteratorBase&) = delete;

    void getBusStringProperty(const char* name, std::string& out) override;
    void getBusU32Property(const char* name, uint32_t& out) override;
    void getDeviceStringProperty(const char* name, std::string& out) override;
    void getDeviceU32Property(const char* name, uint32_t& out) override;
    std::string getInterfacePath() override;
    std::string getDriverName() override;
    DeviceIteratorInterface& next() override;
    bool isEnd() override;

protected:
    const sdihal::nQVAPAL000::tDeviceInterfaceIterator& platform() const { return *iterator_; }

private:
    std::unique_ptr<sdihal::nQVAPAL000::tDeviceInterfaceIterator> iterator_;
};

template <class Token>
class APALDeviceIteratorWithBusToken : public APALDeviceIteratorBase {
public:
    using APALDeviceIteratorBase::APALDeviceIteratorBase;
    std::string getPersistentToken() override { return Token::getPersistentToken(platform()); }
};

}  // namespace qvjsonconfig::internal
