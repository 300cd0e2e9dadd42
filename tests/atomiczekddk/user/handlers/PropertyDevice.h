// A module's bus and device properties by name; a missing one reads as the
// driver's "not found".
#pragma once

#include <map>
#include <string>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "qvjsonconfig/Interfaces.h"

namespace qvtest {

class PropertyDevice : public qvjsonconfig::DeviceIteratorInterface {
public:
    std::map<std::string, std::string> text = {{"serialNumber", "1A2B"},
                                               {"zekProductName", "QV-3377"},
                                               {"zekFpgaTargetClass", "QV3377"},
                                               {"zekHardwareRevision", ""}};
    std::map<std::string, uint32_t> numbers = {
        {"busType", qvzek::kBusTypePci}, {"pciVendorID", 0x1234}, {"pciDeviceID", 0xABCD},
        {"pciSubsystemID", 0x5678},      {"pciBusNumber", 4},     {"pciDeviceNumber", 0},
        {"pciFunctionNumber", 1}};

    void getBusStringProperty(const char* name, std::string& out) override { out = textOf(name); }
    void getBusU32Property(const char* name, uint32_t& out) override { out = numberOf(name); }
    void getDeviceStringProperty(const char* name, std::string& out) override {
        out = textOf(name);
    }
    void getDeviceU32Property(const char* name, uint32_t& out) override { out = numberOf(name); }
    std::string getInterfacePath() override { return ""; }
    std::string getPersistentToken() override { return ""; }
    std::string getDriverName() override { return ""; }
    DeviceIteratorInterface& next() override { return *this; }
    bool isEnd() override { return false; }

private:
    std::string textOf(const std::string& name) {
        const auto it = text.find(name);
        if (it == text.end()) qvzek::throwStatusCode(-52006);
        return it->second;
    }
    uint32_t numberOf(const std::string& name) {
        const auto it = numbers.find(name);
        if (it == numbers.end()) qvzek::throwStatusCode(-52006);
        return it->second;
    }
};

}  // namespace qvtest
