// The module platform as the drivers see it: identity, revisions,
// temperatures, firmware, connected devices and flash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rfplat {

// Names the target device of a platform request. 25 bytes of data; requests
// and arrays carry it as a 32-byte image.
struct DeviceKey {
    uint64_t id = 0;
    uint8_t kind = 0;
    uint8_t hasFlash = 0;
    uint8_t padding[6] = {};
    uint64_t parentId = 0;
    uint8_t parentKind = 0;

    bool isRoot() const { return id == parentId && kind == parentKind; }
    // The module itself.
    static DeviceKey local() {
        DeviceKey key;
        key.hasFlash = 1;
        return key;
    }
};
static_assert(sizeof(DeviceKey) == 32);

// One connected device as the exports hand it to the caller.
struct ConnectedDeviceInfo {
    uint64_t id;
    uint64_t parentId;
    uint8_t kind;
    uint8_t parentKind;
    uint8_t hasFlash;
    uint8_t padding[5];
    char name[128];
};
static_assert(sizeof(ConnectedDeviceInfo) == 152);

// Firmware and flash operations; what the flash data accessor needs.
class FlashInterface {
public:
    virtual ~FlashInterface() = default;
    virtual std::string getSerialNumber2(const char* moduleName, const char* deviceName) = 0;
    virtual std::string getFirmwareRev2(const char* firmwareName, const char* deviceName) = 0;
    virtual void programFirmwareRevisions(const char* firmwareName, const char* deviceName,
                                          uint32_t revision, uint32_t oldestCompatible) = 0;
    virtual std::string getOldestCompatibleFirmwareRev(const char* firmwareName,
                                                       const char* deviceName) = 0;
    virtual std::vector<std::string> getFlashDevices() = 0;
    virtual void getFlashDeviceInfo2(uint32_t* a, uint32_t* b, uint32_t* c,
                                     const char* deviceName) = 0;
    virtual void getPartitionList(uint32_t* buffer, uint32_t* count, const char* deviceName) = 0;
    virtual void readPartitionTable2(void* buffer, uint32_t size, uint32_t flag,
                                     const char* deviceName) = 0;
    virtual void readPartition2(uint32_t partition, void* buffer, uint32_t* size,
                                const char* deviceName, uint32_t* word) = 0;
    virtual void writePartition2(uint32_t partition, const void* buffer, uint32_t size,
                                 uint32_t flag, const char* deviceName, uint32_t* word) = 0;
    virtual void deletePartition2(uint32_t partition, const char* deviceName, uint32_t* word) = 0;
};

// The module operations besides firmware and flash.
class RFPlatInterface : public FlashInterface {
public:
    virtual std::string getModuleRev(const char* moduleName) = 0;
    virtual void checkInitializationStatus(const char* moduleName) = 0;
    virtual double getTemperature(const char* sensorName, uint32_t selector) = 0;
    virtual double getModulePowerConsumption() = 0;
    virtual uint32_t getModulePartNumber(const char* moduleName, uint32_t which) = 0;
    virtual std::string getModuleAssemblyNumber(const char* moduleName) = 0;
    virtual void resetDevice() = 0;
    virtual std::vector<std::string> getAvailablePorts() = 0;
    virtual std::vector<ConnectedDeviceInfo> getConnectedDevices() = 0;
    virtual void selfTest() = 0;
    virtual void selfTest(const char* deviceName) = 0;
    virtual uint32_t getDriverInterfaceVersion() = 0;
    virtual void reserveDeviceForFirmwareUpdate() = 0;
    virtual void unreserveDeviceAfterFirmwareUpdate() = 0;
    virtual std::string getDriverAttribute(const char* moduleName, uint32_t which) = 0;
    virtual std::string getDeviceName(const DeviceKey& key) = 0;
    virtual uint32_t getFirmwareIndex(const char* firmwareName) = 0;
};

}  // namespace rfplat
