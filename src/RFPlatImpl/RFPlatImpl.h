// The rfplat_ family: a stand-alone module platform session per handle,
// created from the session-parameters JSON by rfplat_open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HALUtilities/ErrorHandling.h"
#include "RFPlatImpl/RFPlatInterface.h"

namespace rfplat {

class RFPlatSession;

// The handle as its session; 0, or a handle that names no open session,
// throws -52005.
RFPlatSession* sessionPtrFromHandle(uint64_t handle);
// Destroys a session of rfplat_open; null is ignored.
void closeSession(RFPlatInterface* session);
// A null `buffers` reports the list's length in *count; otherwise *count
// must be that length and each text goes into its own buffer of
// `bufferSize` bytes (-52019 at the first that does not fit).
void copyStringListToBuffers(const std::vector<std::string>& list, char** buffers, uint32_t* count,
                             uint32_t bufferSize);

}  // namespace rfplat

// Opens the device file named by the parameters ("deviceInterfacePath" of a
// JSON object, or the text itself when it starts with '/'); `reserved` must
// be null or empty. The caller owns the session.
rfplat::RFPlatSession* RFPlatSession_createInstance(const char* parameters, const char* reserved);

extern "C" {
QV_EXPORT int32_t rfplat_open(const char* parameters, const char* reserved, uint64_t* handleOut);
QV_EXPORT void rfplat_close(uint64_t handle);
QV_EXPORT int32_t rfplat_resetDevice(uint64_t handle);
QV_EXPORT int32_t rfplat_checkInitializationStatus(uint64_t handle, const char* moduleName);
QV_EXPORT void rfplat_selfTest(uint64_t handle, const char* deviceName, qverr::Status* status);
QV_EXPORT int32_t rfplat_reserveDeviceForFirmwareUpdate(uint64_t handle);
QV_EXPORT int32_t rfplat_unreserveDeviceAfterFirmwareUpdate(uint64_t handle);
QV_EXPORT int32_t rfplat_programFirmwareRevisions(uint64_t handle, const char* firmwareName,
                                                  const char* deviceName, uint32_t revision,
                                                  uint32_t oldestCompatible);
QV_EXPORT int32_t rfplat_getSerialNumber2(uint64_t handle, const char* moduleName, char* buffer,
                                          int32_t size, const char* deviceName);
QV_EXPORT void rfplat_getConnectedDevices(uint64_t handle, rfplat::ConnectedDeviceInfo* records,
                                          uint32_t* count, qverr::Status* status);
QV_EXPORT int32_t rfplat_getModulePowerConsumption(uint64_t handle, double* power);
QV_EXPORT int32_t rfplat_getTemperature(uint64_t handle, const char* sensorName, uint32_t selector,
                                        double* temperature);
QV_EXPORT int32_t rfplat_getDriverInterfaceVersion(uint64_t handle, uint32_t* version);
QV_EXPORT int32_t rfplat_getModulePartNumber(uint64_t handle, const char* moduleName,
                                             uint32_t which, uint32_t* partNumber);
QV_EXPORT int32_t rfplat_getModuleRev(uint64_t handle, const char* moduleName, char* buffer,
                                      uint32_t* size);
QV_EXPORT int32_t rfplat_getModuleAssemblyNumber(uint64_t handle, const char* moduleName,
                                                 char* buffer, uint32_t* size);
QV_EXPORT int32_t rfplat_getDriverAttribute(uint64_t handle, const char* moduleName, uint32_t which,
                                            char* buffer, uint32_t* size);
QV_EXPORT int32_t rfplat_getFirmwareRev2(uint64_t handle, const char* firmwareName,
                                         const char* deviceName, char* buffer, uint32_t* size);
QV_EXPORT int32_t rfplat_getOldestCompatibleFirmwareRev(uint64_t handle, const char* firmwareName,
                                                        const char* deviceName, char* buffer,
                                                        uint32_t* size);
QV_EXPORT int32_t rfplat_getAvailablePorts(uint64_t handle, char** names, uint32_t* count,
                                           uint32_t nameSize);
QV_EXPORT int32_t rfplat_getFlashDevices(uint64_t handle, char** names, uint32_t* count,
                                         uint32_t nameSize);
QV_EXPORT int32_t rfplat_getFlashDeviceInfo2(uint64_t handle, uint32_t* a, uint32_t* b, uint32_t* c,
                                             const char* deviceName);
QV_EXPORT int32_t rfplat_getPartitionList(uint64_t handle, uint32_t* partitions, uint32_t* count,
                                          const char* deviceName);
QV_EXPORT int32_t rfplat_readPartitionTable2(uint64_t handle, void* buffer, uint32_t size,
                                             uint32_t flag, const char* deviceName);
QV_EXPORT int32_t rfplat_readPartition2(uint64_t handle, uint32_t partition, void* buffer,
                                        uint32_t* size, const char* deviceName, uint32_t* sequence);
QV_EXPORT int32_t rfplat_writePartition2(uint64_t handle, uint32_t partition, const void* data,
                                         uint32_t size, int32_t flag, const char* deviceName,
                                         uint32_t* sequence);
QV_EXPORT int32_t rfplat_deletePartition2(uint64_t handle, uint32_t partition,
                                          const char* deviceName, uint32_t* sequence);
QV_EXPORT int32_t rfplat_createPartition(uint64_t handle, uint32_t partition, uint32_t size,
                                         int32_t flag);
QV_EXPORT int32_t rfplat_resizePartition(uint64_t handle, uint32_t partition, uint32_t size,
                                         int32_t flag);
QV_EXPORT int32_t rfplat_getSerialNumber(uint64_t handle, const char* moduleName, char* buffer,
                                         uint32_t size);
QV_EXPORT int32_t rfplat_getFirmwareRev(uint64_t handle, const char* deviceName, char* buffer,
                                        uint32_t* size);
QV_EXPORT int32_t rfplat_getFlashDeviceInfo(uint64_t handle, uint32_t* a, uint32_t* b, uint32_t* c);
QV_EXPORT int32_t rfplat_readPartitionTable(uint64_t handle, void* buffer, uint32_t size,
                                            int32_t flag);
QV_EXPORT int32_t rfplat_getPartitionSize(uint64_t handle, uint32_t partition, uint32_t* size);
QV_EXPORT int32_t rfplat_readPartition(uint64_t handle, uint32_t partition, int32_t offset,
                                       void* buffer, uint32_t size, int32_t flag);
QV_EXPORT int32_t rfplat_deletePartition(uint64_t handle, uint32_t partition, int32_t flag);
QV_EXPORT int32_t rfplat_writePartition(uint64_t handle, uint32_t partition, int32_t offset,
                                        const void* data, uint32_t size, int32_t flag);
}
