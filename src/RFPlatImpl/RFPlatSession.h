// The module platform session: one platform request per answer, plus the
// name tables, unit conversions and text formats the drivers rely on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "RFPlatImpl/RFPlatInterface.h"

namespace sdihal {
class iInterfaceProxy_rfplat;
}

namespace rfplat {

// Revision number to letters: -1 "", 0-9 a digit, 10-35 "A"-"Z", 36-711
// "AA"-"ZZ"; anything else throws -52003.
std::string moduleRevisionConversion(int32_t revision);
// Packed firmware revision word to "major.minor.fix<stage>build"; 0 is "".
std::string firmwareRevisionToString(uint32_t word);
// Module index of a module name (null, "" and "module" are 0); -52005 for
// a name the module does not have.
uint32_t moduleIndexFromName(const char* name);
// Sensor number of a temperature sensor name; -52005 for an unknown name.
int32_t temperatureSensorNumber(const char* name);

class RFPlatSession : public RFPlatInterface {
public:
    RFPlatSession(std::shared_ptr<sdihal::iInterfaceProxy_rfplat> proxy, std::string localName);
    ~RFPlatSession() override;

    std::string getSerialNumber2(const char* moduleName, const char* deviceName) override;
    std::string getFirmwareRev2(const char* firmwareName, const char* deviceName) override;
    void programFirmwareRevisions(const char* firmwareName, const char* deviceName,
                                  uint32_t revision, uint32_t oldestCompatible) override;
    std::string getOldestCompatibleFirmwareRev(const char* firmwareName,
                                               const char* deviceName) override;
    std::vector<std::string> getFlashDevices() override;
    void getFlashDeviceInfo2(uint32_t* a, uint32_t* b, uint32_t* c,
                             const char* deviceName) override;
    void getPartitionList(uint32_t* buffer, uint32_t* count, const char* deviceName) override;
    void readPartitionTable2(void* buffer, uint32_t size, uint32_t flag,
                             const char* deviceName) override;
    void readPartition2(uint32_t partition, void* buffer, uint32_t* size, const char* deviceName,
                        uint32_t* word) override;
    void writePartition2(uint32_t partition, const void* buffer, uint32_t size, uint32_t flag,
                         const char* deviceName, uint32_t* word) override;
    void deletePartition2(uint32_t partition, const char* deviceName, uint32_t* word) override;

    std::string getModuleRev(const char* moduleName) override;
    void checkInitializationStatus(const char* moduleName) override;
    double getTemperature(const char* sensorName, uint32_t selector) override;
    double getModulePowerConsumption() override;
    uint32_t getModulePartNumber(const char* moduleName, uint32_t which) override;
    std::string getModuleAssemblyNumber(const char* moduleName) override;
    void resetDevice() override;
    std::vector<std::string> getAvailablePorts() override;
    std::vector<ConnectedDeviceInfo> getConnectedDevices() override;
    void selfTest() override;
    void selfTest(const char* deviceName) override;
    uint32_t getDriverInterfaceVersion() override;
    void reserveDeviceForFirmwareUpdate() override;
    void unreserveDeviceAfterFirmwareUpdate() override;
    std::string getDriverAttribute(const char* moduleName, uint32_t which) override;
    std::string getDeviceName(const DeviceKey& key) override;
    uint32_t getFirmwareIndex(const char* firmwareName) override;

    // Connected devices by name, enumerated on first use and then kept.
    const std::unordered_map<std::string, DeviceKey>& getConnectedDeviceMap();
    DeviceKey findDeviceKey(const char* deviceName);

private:
    DeviceKey flashKey(const char* deviceName);
    // The firmware's revision and oldest compatible revision words.
    std::pair<uint32_t, uint32_t> firmwareRevisionWords(const char* firmwareName,
                                                        const char* deviceName);

    std::shared_ptr<sdihal::iInterfaceProxy_rfplat> proxy_;
    std::string localName_;
    std::unordered_map<std::string, DeviceKey> connectedDevices_;
    std::atomic<bool> reservedForFirmwareUpdate_{false};
};

}  // namespace rfplat
