// Persistent tokens: the text that names one module for as long as it stays
// in the same place. A module that the PXI chassis library can place is
// "Model=<model>;Chassis=<n>;Slot=<n>", any other "Model=<model>;
// PCISlotPath=<path>".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "qvjsonconfig/APALDeviceIterator.h"

namespace qvzek {

// The board plug-in's model names of its PCI identities.
class IPciModelNameIdentifier {
public:
    virtual ~IPciModelNameIdentifier() = default;
    virtual std::string getModelName(uint32_t vendorId, uint32_t deviceId,
                                     uint32_t subsystemId) = 0;
};

// The two token forms, numbers in decimal.
std::string pxiPersistentToken(const std::string& model, uint32_t chassis, uint32_t slot);
std::string pciPersistentToken(const std::string& model, const std::string& slotPath);

class IPersistentTokenGenerator {
public:
    virtual ~IPersistentTokenGenerator() = default;
    // The token of the module `device` stands on; failing reads throw.
    virtual std::string generateToken(qvjsonconfig::DeviceIteratorInterface& device) = 0;
};

class PersistentTokenGeneratorPci : public IPersistentTokenGenerator {
public:
    explicit PersistentTokenGeneratorPci(IPciModelNameIdentifier& modelNames)
        : modelNames_(&modelNames) {}
    std::string generateToken(qvjsonconfig::DeviceIteratorInterface& device) override;

private:
    IPciModelNameIdentifier* modelNames_;
};

class PersistentTokenGeneratorPxi : public IPersistentTokenGenerator {
public:
    PersistentTokenGeneratorPxi(IPciModelNameIdentifier& modelNames, qvqpxi::QPxiLibrary& library)
        : modelNames_(&modelNames), library_(&library) {}
    // The chassis form when the PXI library places the module, else the
    // PCI form.
    std::string generateToken(qvjsonconfig::DeviceIteratorInterface& device) override;

private:
    IPciModelNameIdentifier* modelNames_;
    qvqpxi::QPxiLibrary* library_;
};

class DeviceIteratorCustomPersistentToken
    : public qvjsonconfig::internal::APALDeviceIteratorWithBusToken<
          qvjsonconfig::internal::APALPersistentTokenPCI> {
public:
    DeviceIteratorCustomPersistentToken(const std::vector<std::string>& interfaceNames,
                                        IPersistentTokenGenerator& generator)
        : APALDeviceIteratorWithBusToken(interfaceNames), generator_(&generator) {}
    std::string getPersistentToken() override { return generator_->generateToken(*this); }

private:
    IPersistentTokenGenerator* generator_;
};

// The driver interfaces the board plug-in walks.
inline const std::vector<std::string> kDriverInterfaceNames = {"qv3377k_atomiczekddkqrx",
                                                               "qv3377k_qv3377k"};

class DeviceIteratorFactoryCustomPersistentToken
    : public qvjsonconfig::DeviceIteratorFactoryInterface {
public:
    DeviceIteratorFactoryCustomPersistentToken(std::vector<std::string> interfaceNames,
                                               IPersistentTokenGenerator& generator)
        : interfaceNames_(std::move(interfaceNames)), generator_(&generator) {}
    DeviceIteratorFactoryCustomPersistentToken(const DeviceIteratorFactoryCustomPersistentToken&) =
        delete;
    DeviceIteratorFactoryCustomPersistentToken& operator=(
        const DeviceIteratorFactoryCustomPersistentToken&) = delete;
    qvjsonconfig::DeviceIteratorInterface* createIterator() override {
        return new DeviceIteratorCustomPersistentToken(interfaceNames_, *generator_);
    }

private:
    std::vector<std::string> interfaceNames_;
    IPersistentTokenGenerator* generator_;
};

}  // namespace qvzek
