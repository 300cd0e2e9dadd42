// The module-platform block of the simulated module: identity, revisions,
// temperatures and power, connected devices, and flash devices whose
// partitions live as long as the module. Tests change the fields and make
// any request answer an error code through `errors`.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qvsim {

class SimulatedModule;

struct RFPlatBlock {
    struct Partition {
        std::vector<uint8_t> bytes;
        bool exists = false;
        uint32_t sequence = 1;
    };

    uint32_t driverInterfaceVersion = 0;
    uint64_t serialNumber = 0x01AB23CD;
    // Module index to revision number; other indices answer -52005.
    std::map<uint32_t, int32_t> moduleRevisions;
    // (module index, which) to the part-number word and driver attribute.
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> partNumbers;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> driverAttributes;
    uint32_t firmwareRevision = 0x1730C000u | 451u;   // 23.3.0f451
    uint32_t oldestCompatibleFirmware = 0x17100000u;  // 23.1.0d0
    // Sensor number to (numerator, denominator); others answer (0, 1).
    std::map<uint32_t, std::pair<int32_t, int32_t>> temperatures;
    int32_t powerMilliwatts = 23500;
    // 32-byte device-key images the driver enumerates (none: the module alone).
    std::vector<std::vector<uint8_t>> connectedDevices;
    uint32_t flashInfo[3] = {0x10000, 64, 4096};
    std::vector<uint8_t> partitionTable = std::vector<uint8_t>(16, 0x5A);
    std::map<uint32_t, Partition> partitions;
    bool reservedForFirmwareUpdate = false;
    uint32_t resets = 0;
    int32_t selfTestResult = 0;
    // "<method>" (such as "readPartition") to the reply code it answers with.
    std::map<std::string, int32_t> errors;

    // Serves the block's requests through the module's decoder.
    void install(SimulatedModule& module);
};

}  // namespace qvsim
