#include "module/RFPlatBlock.h"

#include <algorithm>
#include <cstring>

#include "module/SimulatedModule.h"
#include "qverr/Status.h"
#include "qvmxl/errors.h"

namespace qvsim {
namespace {

// Caller memory named by a request: the driver reads and writes it directly.
uint8_t* memoryAt(int64_t address) {
    return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
}

}  // namespace

void RFPlatBlock::install(SimulatedModule& module) {
    // Every handler first answers a scripted error of its method.
    auto serve = [this, &decoder = module.blocks_](const char* method, auto body) {
        decoder.on(std::string("rfplat.") + method,
                   [this, method, body](const DecodedRequest& request, Reply& reply) {
                       if (auto error = errors.find(method); error != errors.end()) {
                           reply.status(error->second);
                           return 0;
                       }
                       body(request, reply);
                       return 0;
                   });
    };

    serve("getDriverInterfaceVersion", [this](const DecodedRequest&, Reply& reply) {
        reply.set("return", driverInterfaceVersion);
    });
    serve("getSerialNumber",
          [this](const DecodedRequest&, Reply& reply) { reply.set("serial", serialNumber); });
    serve("getModuleRev", [this](const DecodedRequest& request, Reply& reply) {
        auto found = moduleRevisions.find(static_cast<uint32_t>(request.value("moduleIndex")));
        if (found == moduleRevisions.end()) {
            reply.status(qverr::qvapalerr_invalidParameter);
        } else {
            reply.set("revision", static_cast<uint32_t>(found->second));
        }
    });
    serve("getTemperature", [this](const DecodedRequest& request, Reply& reply) {
        auto found = temperatures.find(static_cast<uint32_t>(request.value("sensor")));
        const auto value =
            found == temperatures.end() ? std::pair<int32_t, int32_t>{0, 1} : found->second;
        reply.set("numerator", static_cast<uint32_t>(value.first));
        reply.set("denominator", static_cast<uint32_t>(value.second));
    });
    serve("getModulePowerConsumption", [this](const DecodedRequest&, Reply& reply) {
        reply.set("value", static_cast<uint32_t>(powerMilliwatts));
    });
    serve("checkInitializationStatus", [](const DecodedRequest&, Reply&) {});
    serve("getModulePartNumber", [this](const DecodedRequest& request, Reply& reply) {
        auto key = std::make_pair(static_cast<uint32_t>(request.value("moduleIndex")),
                                  static_cast<uint32_t>(request.value("which")));
        auto found = partNumbers.find(key);
        reply.set("return", found == partNumbers.end() ? 0u : found->second);
    });
    serve("getDriverAttribute", [this](const DecodedRequest& request, Reply& reply) {
        auto key = std::make_pair(static_cast<uint32_t>(request.value("moduleIndex")),
                                  static_cast<uint32_t>(request.value("which")));
        auto found = driverAttributes.find(key);
        reply.set("value", found == driverAttributes.end() ? 0u : found->second);
    });
    serve("resetDevice", [this](const DecodedRequest&, Reply&) { ++resets; });
    serve("selfTest", [this](const DecodedRequest&, Reply& reply) {
        if (selfTestResult != 0) reply.status(selfTestResult);
    });
    serve("getFirmwareRev", [this](const DecodedRequest&, Reply& reply) {
        reply.set("revision", firmwareRevision);
        reply.set("oldestCompatibleRevision", oldestCompatibleFirmware);
    });
    serve("programFirmwareRevisions", [this](const DecodedRequest& request, Reply&) {
        firmwareRevision = static_cast<uint32_t>(request.value("revision"));
        oldestCompatibleFirmware = static_cast<uint32_t>(request.value("oldestCompatibleRevision"));
    });
    serve("reserveDeviceForFirmwareUpdate", [this](const DecodedRequest&, Reply& reply) {
        if (reservedForFirmwareUpdate) {
            reply.status(qvmxl::kErrorResourceAlreadyReserved);
        } else {
            reservedForFirmwareUpdate = true;
        }
    });
    serve("unreserveDeviceAfterFirmwareUpdate",
          [this](const DecodedRequest&, Reply&) { reservedForFirmwareUpdate = false; });
    serve("enumerateConnectedDevices", [this](const DecodedRequest& request, Reply& reply) {
        const uint64_t capacity = static_cast<uint64_t>(request.value("size")) / 32;
        uint8_t* buffer = memoryAt(request.value("buffer"));
        for (size_t i = 0; buffer != nullptr && i < connectedDevices.size() && i < capacity; ++i) {
            std::memcpy(buffer + 32 * i, connectedDevices[i].data(),
                        std::min<size_t>(32, connectedDevices[i].size()));
        }
        reply.set("return", connectedDevices.size());
    });

    // Flash: the module's own flash device holds the partitions.
    serve("getFlashDeviceInfo", [this](const DecodedRequest&, Reply& reply) {
        reply.set("infoA", flashInfo[0]);
        reply.set("infoB", flashInfo[1]);
        reply.set("infoC", flashInfo[2]);
    });
    serve("readPartitionTable", [this](const DecodedRequest& request, Reply&) {
        uint8_t* buffer = memoryAt(request.value("buffer"));
        const size_t size =
            std::min<size_t>(static_cast<size_t>(request.value("size")), partitionTable.size());
        if (buffer != nullptr) std::memcpy(buffer, partitionTable.data(), size);
    });
    serve("getPartitionList", [this](const DecodedRequest& request, Reply& reply) {
        uint32_t* buffer = reinterpret_cast<uint32_t*>(memoryAt(request.value("buffer")));
        const uint64_t capacity = static_cast<uint64_t>(request.value("size")) / 4;
        uint32_t count = 0;
        for (const auto& [number, partition] : partitions) {
            if (!partition.exists) continue;
            if (buffer != nullptr && count < capacity) buffer[count] = number;
            ++count;
        }
        reply.set("return", count);
    });
    serve("readPartition", [this](const DecodedRequest& request, Reply& reply) {
        Partition& partition = partitions[static_cast<uint32_t>(request.value("partition"))];
        const uint64_t capacity = static_cast<uint64_t>(request.value("size"));
        uint8_t* buffer = memoryAt(request.value("buffer"));
        if (buffer != nullptr && partition.exists) {
            if (partition.bytes.size() > capacity) {
                reply.status(qverr::qvapalerr_bufferTooSmall);
                return;
            }
            if (!partition.bytes.empty())
                std::memcpy(buffer, partition.bytes.data(), partition.bytes.size());
        }
        reply.set("size", partition.exists ? partition.bytes.size() : 0);
        reply.set("word", partition.sequence);
    });
    serve("writePartition", [this](const DecodedRequest& request, Reply& reply) {
        Partition& partition = partitions[static_cast<uint32_t>(request.value("partition"))];
        if (static_cast<uint32_t>(request.value("word")) != partition.sequence) {
            reply.status(qvmxl::kErrorStorageAlteredPriorToSave);
            return;
        }
        const uint8_t* data = memoryAt(request.value("buffer"));
        const size_t size = static_cast<size_t>(request.value("size"));
        partition.bytes.assign(data, data + (data != nullptr ? size : 0));
        partition.exists = true;
        reply.set("word", ++partition.sequence);
    });
    serve("deletePartition", [this](const DecodedRequest& request, Reply& reply) {
        Partition& partition = partitions[static_cast<uint32_t>(request.value("partition"))];
        if (static_cast<uint32_t>(request.value("word")) != partition.sequence) {
            reply.status(qvmxl::kErrorStorageAlteredPriorToSave);
            return;
        }
        if (partition.exists) {
            partition.exists = false;
            partition.bytes.clear();
            ++partition.sequence;
        }
        reply.set("word", partition.sequence);
    });
}

}  // namespace qvsim
