#include "RFPlatImpl/RFPlatImpl.h"

#include <cjson/cJSON.h>

#include <cstring>
#include <memory>

#include "RFPlatImpl/RFPlatSession.h"
#include "apal_qv3377k/tInterfaceProxy_rfplat.h"
#include "qverr/DetailWriter.h"
#include "qvmxl/errors.h"

namespace rfplat {
namespace {

constexpr const char* kComponent = "qv3377hal";

#define RFPLAT_IMPL_FAIL(code, constant, problem)                                              \
    ::qverr::throwWithMessage(                                                                 \
        (code), QVERR_FIXED_LOCATION("RFPlatImpl/RFPlatImpl", __LINE__, kComponent, constant), \
        "RFPlatImpl", (problem))

[[noreturn]] void throwBufferTooSmall(const char* problem) {
    RFPLAT_IMPL_FAIL(qverr::qvapalerr_bufferTooSmall, "qvapalerr_bufferTooSmall", problem);
}

[[noreturn]] void throwInvalid(const char* problem) {
    RFPLAT_IMPL_FAIL(qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter", problem);
}

// The text pattern: *size gets the needed size first; a buffer smaller than
// that is refused, a null buffer only asks for the size.
void copyText(const std::string& text, char* buffer, uint32_t* size) {
    const uint32_t capacity = *size;
    const uint64_t needed = text.size() + 1;
    *size = static_cast<uint32_t>(needed);
    if (buffer == nullptr) return;
    if (capacity < needed) throwBufferTooSmall("text too long for the caller's buffer");
    std::memcpy(buffer, text.c_str(), needed);
}

template <class Body>
int32_t withSession(uint64_t handle, Body&& body) {
    return qv3377hal::returnCodeCall([&] { body(*sessionPtrFromHandle(handle)); });
}

}  // namespace

RFPlatSession* sessionPtrFromHandle(uint64_t handle) {
    return qv3377hal::objectFromHandle<RFPlatSession>(handle, qv3377hal::HandleKind::rfplatSession,
                                                      qv3377hal::kSessionPtrRefusal);
}

void closeSession(RFPlatInterface* session) {
    delete session;
}

void copyStringListToBuffers(const std::vector<std::string>& list, char** buffers, uint32_t* count,
                             uint32_t bufferSize) {
    if (buffers == nullptr) {
        *count = static_cast<uint32_t>(list.size());
        return;
    }
    if (*count != list.size()) {
        ::qverr::throwWithMessage(
            qverr::qvapalerr_invalidParameter,
            QVERR_FIXED_LOCATION("RFPlatImpl", __LINE__, kComponent, "qvapalerr_invalidParameter"),
            "RFPlatImpl", "buffer count differs from the number of strings");
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].size() + 1 > bufferSize) {
            ::qverr::throwWithMessage(qverr::qvapalerr_bufferTooSmall,
                                      QVERR_FIXED_LOCATION("RFPlatImpl", __LINE__, kComponent,
                                                           "qvapalerr_bufferTooSmall"),
                                      "RFPlatImpl", "string too long for the caller's buffer");
        }
        std::memcpy(buffers[i], list[i].c_str(), list[i].size() + 1);
    }
}

}  // namespace rfplat

rfplat::RFPlatSession* RFPlatSession_createInstance(const char* parameters, const char* reserved) {
    if (reserved != nullptr && reserved[0] != '\0') {
        ::qverr::throwWithMessage(
            qverr::qvapalerr_invalidParameter,
            QVERR_FIXED_LOCATION("RFPlatImpl/RFPlatSession_createInstance", __LINE__,
                                 rfplat::kComponent, "qvapalerr_invalidParameter"),
            "RFPlatSession_createInstance", "reserved text is not empty");
    }
    if (parameters == nullptr)
        qv3377hal::throwNullArgument("ErrorHandling", "null session parameters");
    std::unique_ptr<cJSON, void (*)(cJSON*)> json(cJSON_Parse(parameters), cJSON_Delete);
    std::string path;
    const cJSON* member =
        json ? cJSON_GetObjectItemCaseSensitive(json.get(), "deviceInterfacePath") : nullptr;
    if (parameters[0] == '/') {
        path = parameters;
    } else if (cJSON_IsString(member) && member->valuestring != nullptr) {
        path = member->valuestring;
    } else {
        qv3377hal::throwNullArgument("ErrorHandling", "no device path in the session parameters");
    }
    auto proxy = std::make_shared<sdihal::tInterfaceProxy_rfplat>();
    nQVAPALS100::tStatus status;
    proxy->open(path.c_str(), status);
    qverr::throwIfTStatusError(status);
    return new rfplat::RFPlatSession(
        std::shared_ptr<sdihal::iInterfaceProxy_rfplat>(std::move(proxy)), "");
}

using qv3377hal::checkNotNull;
using rfplat::RFPlatSession;

int32_t rfplat_open(const char* parameters, const char* reserved, uint64_t* handleOut) {
    return qv3377hal::returnCodeCall([&] {
        if (handleOut == nullptr || *handleOut != 0)
            rfplat::throwInvalid("null handle slot or one that holds a handle");
        std::unique_ptr<RFPlatSession> session(RFPlatSession_createInstance(parameters, reserved));
        const uint64_t handle = qv3377hal::handleOf(session.get());
        qv3377hal::addHandle(handle, qv3377hal::HandleKind::rfplatSession);
        *handleOut = handle;
        session.release();
    });
}

void rfplat_close(uint64_t handle) {
    // Only a live handle is freed, once; the close of any other does nothing.
    try {
        rfplat::closeSession(qv3377hal::takeObjectFromHandle<RFPlatSession>(
            handle, qv3377hal::HandleKind::rfplatSession, qv3377hal::kSessionPtrRefusal));
    } catch (...) {
    }
}

int32_t rfplat_resetDevice(uint64_t handle) {
    return rfplat::withSession(handle, [&](RFPlatSession& s) { s.resetDevice(); });
}

int32_t rfplat_checkInitializationStatus(uint64_t handle, const char* moduleName) {
    return rfplat::withSession(handle,
                               [&](RFPlatSession& s) { s.checkInitializationStatus(moduleName); });
}

void rfplat_selfTest(uint64_t handle, const char* deviceName, qverr::Status* status) {
    qv3377hal::statusLastCall(status, [&] {
        checkNotNull(deviceName);
        rfplat::sessionPtrFromHandle(handle)->selfTest(deviceName);
    });
}

int32_t rfplat_reserveDeviceForFirmwareUpdate(uint64_t handle) {
    return rfplat::withSession(handle,
                               [&](RFPlatSession& s) { s.reserveDeviceForFirmwareUpdate(); });
}

int32_t rfplat_unreserveDeviceAfterFirmwareUpdate(uint64_t handle) {
    return rfplat::withSession(handle,
                               [&](RFPlatSession& s) { s.unreserveDeviceAfterFirmwareUpdate(); });
}

int32_t rfplat_programFirmwareRevisions(uint64_t handle, const char* firmwareName,
                                        const char* deviceName, uint32_t revision,
                                        uint32_t oldestCompatible) {
    return rfplat::withSession(handle, [&](RFPlatSession& s) {
        s.programFirmwareRevisions(firmwareName, deviceName, revision, oldestCompatible);
    });
}

int32_t rfplat_getSerialNumber2(uint64_t handle, const char* moduleName, char* buffer, int32_t size,
                                const char* deviceName) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(buffer);
        if (size <= 0) rfplat::throwInvalid("buffer size is not positive");
        const std::string text =
            rfplat::sessionPtrFromHandle(handle)->getSerialNumber2(moduleName, deviceName);
        if (text.size() + 1 > static_cast<uint32_t>(size))
            rfplat::throwBufferTooSmall("text too long for the caller's buffer");
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    });
}

void rfplat_getConnectedDevices(uint64_t handle, rfplat::ConnectedDeviceInfo* records,
                                uint32_t* count, qverr::Status* status) {
    qv3377hal::statusLastCall(status, [&] {
        checkNotNull(count);
        const auto devices = rfplat::sessionPtrFromHandle(handle)->getConnectedDevices();
        if (records == nullptr) {
            *count = static_cast<uint32_t>(devices.size());
            return;
        }
        if (*count != devices.size())
            rfplat::throwInvalid("record count differs from the number of devices");
        if (!devices.empty())
            std::memcpy(records, devices.data(), devices.size() * sizeof devices[0]);
    });
}

int32_t rfplat_getModulePowerConsumption(uint64_t handle, double* power) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(power);
        *power = rfplat::sessionPtrFromHandle(handle)->getModulePowerConsumption();
    });
}

int32_t rfplat_getTemperature(uint64_t handle, const char* sensorName, uint32_t selector,
                              double* temperature) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(sensorName, temperature);
        *temperature = rfplat::sessionPtrFromHandle(handle)->getTemperature(sensorName, selector);
    });
}

int32_t rfplat_getDriverInterfaceVersion(uint64_t handle, uint32_t* version) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(version);
        *version = rfplat::sessionPtrFromHandle(handle)->getDriverInterfaceVersion();
    });
}

int32_t rfplat_getModulePartNumber(uint64_t handle, const char* moduleName, uint32_t which,
                                   uint32_t* partNumber) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(partNumber);
        *partNumber = rfplat::sessionPtrFromHandle(handle)->getModulePartNumber(moduleName, which);
    });
}

namespace {

template <class Text>
int32_t textCall(uint64_t handle, char* buffer, uint32_t* size, Text&& text) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(size);
        rfplat::copyText(text(*rfplat::sessionPtrFromHandle(handle)), buffer, size);
    });
}

template <class List>
int32_t listCall(uint64_t handle, char** names, uint32_t* count, uint32_t nameSize, List&& list) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(count);
        rfplat::copyStringListToBuffers(list(*rfplat::sessionPtrFromHandle(handle)), names, count,
                                        nameSize);
    });
}

}  // namespace

int32_t rfplat_getModuleRev(uint64_t handle, const char* moduleName, char* buffer, uint32_t* size) {
    return textCall(handle, buffer, size,
                    [&](RFPlatSession& s) { return s.getModuleRev(moduleName); });
}

int32_t rfplat_getModuleAssemblyNumber(uint64_t handle, const char* moduleName, char* buffer,
                                       uint32_t* size) {
    return textCall(handle, buffer, size,
                    [&](RFPlatSession& s) { return s.getModuleAssemblyNumber(moduleName); });
}

int32_t rfplat_getDriverAttribute(uint64_t handle, const char* moduleName, uint32_t which,
                                  char* buffer, uint32_t* size) {
    return textCall(handle, buffer, size,
                    [&](RFPlatSession& s) { return s.getDriverAttribute(moduleName, which); });
}

int32_t rfplat_getFirmwareRev2(uint64_t handle, const char* firmwareName, const char* deviceName,
                               char* buffer, uint32_t* size) {
    return textCall(handle, buffer, size,
                    [&](RFPlatSession& s) { return s.getFirmwareRev2(firmwareName, deviceName); });
}

int32_t rfplat_getOldestCompatibleFirmwareRev(uint64_t handle, const char* firmwareName,
                                              const char* deviceName, char* buffer,
                                              uint32_t* size) {
    return textCall(handle, buffer, size, [&](RFPlatSession& s) {
        return s.getOldestCompatibleFirmwareRev(firmwareName, deviceName);
    });
}

int32_t rfplat_getAvailablePorts(uint64_t handle, char** names, uint32_t* count,
                                 uint32_t nameSize) {
    return listCall(handle, names, count, nameSize,
                    [](RFPlatSession& s) { return s.getAvailablePorts(); });
}

int32_t rfplat_getFlashDevices(uint64_t handle, char** names, uint32_t* count, uint32_t nameSize) {
    return listCall(handle, names, count, nameSize,
                    [](RFPlatSession& s) { return s.getFlashDevices(); });
}

int32_t rfplat_getFlashDeviceInfo2(uint64_t handle, uint32_t* a, uint32_t* b, uint32_t* c,
                                   const char* deviceName) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(a, b, c, deviceName);
        rfplat::sessionPtrFromHandle(handle)->getFlashDeviceInfo2(a, b, c, deviceName);
    });
}

int32_t rfplat_getPartitionList(uint64_t handle, uint32_t* partitions, uint32_t* count,
                                const char* deviceName) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(count, deviceName);
        rfplat::sessionPtrFromHandle(handle)->getPartitionList(partitions, count, deviceName);
    });
}

int32_t rfplat_readPartitionTable2(uint64_t handle, void* buffer, uint32_t size, uint32_t flag,
                                   const char* deviceName) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(buffer, deviceName);
        rfplat::sessionPtrFromHandle(handle)->readPartitionTable2(buffer, size, flag & 0xFFu,
                                                                  deviceName);
    });
}

int32_t rfplat_readPartition2(uint64_t handle, uint32_t partition, void* buffer, uint32_t* size,
                              const char* deviceName, uint32_t* sequence) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(size, deviceName, sequence);
        rfplat::sessionPtrFromHandle(handle)->readPartition2(partition, buffer, size, deviceName,
                                                             sequence);
    });
}

int32_t rfplat_writePartition2(uint64_t handle, uint32_t partition, const void* data, uint32_t size,
                               int32_t flag, const char* deviceName, uint32_t* sequence) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(data, deviceName, sequence);
        rfplat::sessionPtrFromHandle(handle)->writePartition2(
            partition, data, size, static_cast<uint32_t>(flag) & 0xFFu, deviceName, sequence);
    });
}

int32_t rfplat_deletePartition2(uint64_t handle, uint32_t partition, const char* deviceName,
                                uint32_t* sequence) {
    return qv3377hal::returnCodeCall([&] {
        checkNotNull(deviceName, sequence);
        rfplat::sessionPtrFromHandle(handle)->deletePartition2(partition, deviceName, sequence);
    });
}

int32_t rfplat_createPartition(uint64_t, uint32_t, uint32_t, int32_t) {
    return 0;
}

int32_t rfplat_resizePartition(uint64_t, uint32_t, uint32_t, int32_t) {
    return 0;
}

// Older forms.

int32_t rfplat_getSerialNumber(uint64_t handle, const char* moduleName, char* buffer,
                               uint32_t size) {
    return rfplat_getSerialNumber2(handle, moduleName, buffer, static_cast<int32_t>(size), "");
}

int32_t rfplat_getFirmwareRev(uint64_t handle, const char* deviceName, char* buffer,
                              uint32_t* size) {
    return rfplat_getFirmwareRev2(handle, "", deviceName, buffer, size);
}

int32_t rfplat_getFlashDeviceInfo(uint64_t handle, uint32_t* a, uint32_t* b, uint32_t* c) {
    return rfplat_getFlashDeviceInfo2(handle, a, b, c, "");
}

int32_t rfplat_readPartitionTable(uint64_t handle, void* buffer, uint32_t size, int32_t flag) {
    return rfplat_readPartitionTable2(handle, buffer, size, static_cast<uint32_t>(flag) & 0xFFu,
                                      "");
}

int32_t rfplat_getPartitionSize(uint64_t handle, uint32_t partition, uint32_t* size) {
    if (size == nullptr) return qverr::qvapalerr_invalidParameter;
    *size = 0;
    uint32_t sequence = 0;
    return rfplat_readPartition2(handle, partition, nullptr, size, "", &sequence);
}

int32_t rfplat_readPartition(uint64_t handle, uint32_t partition, int32_t offset, void* buffer,
                             uint32_t size, int32_t flag) {
    if (offset != 0 || (flag & 0xFF) != 1) return qverr::qvapalerr_invalidParameter;
    uint32_t read = size;
    uint32_t sequence = 0;
    const int32_t result = rfplat_readPartition2(handle, partition, buffer, &read, "", &sequence);
    return read == 0 ? qvmxl::kErrorInvalidStorage : result;
}

int32_t rfplat_deletePartition(uint64_t handle, uint32_t partition, int32_t flag) {
    if ((flag & 0xFF) != 1) return qverr::qvapalerr_invalidParameter;
    uint32_t size = 0;
    uint32_t sequence = 0;
    rfplat_readPartition2(handle, partition, nullptr, &size, "", &sequence);
    return rfplat_deletePartition2(handle, partition, "", &sequence);
}

int32_t rfplat_writePartition(uint64_t handle, uint32_t partition, int32_t offset, const void* data,
                              uint32_t size, int32_t flag) {
    if (offset != 0) return qverr::qvapalerr_invalidParameter;
    uint32_t queried = 0;
    uint32_t sequence = 0;
    rfplat_readPartition2(handle, partition, nullptr, &queried, "", &sequence);
    return rfplat_writePartition2(handle, partition, data, size, flag & 0xFF, "", &sequence);
}
