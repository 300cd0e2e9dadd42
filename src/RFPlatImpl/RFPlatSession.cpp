#include "RFPlatImpl/RFPlatSession.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "HALUtilities/DriverRequest.h"
#include "HALUtilities/ErrorHandling.h"
#include "apal_qv3377k/iInterfaceProxy_qv3377k.h"
#include "qvapal/status/tStatus.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"
#include "qvmxl/errors.h"

namespace rfplat {

using nQVAPALS100::tStatus;
using qv3377hal::driverRequest;

namespace {

constexpr const char* kComponent = "qv3377hal";

#define RFPLAT_FAIL(code, constant, problem)                                                      \
    ::qverr::throwWithMessage(                                                                    \
        (code), QVERR_FIXED_LOCATION("RFPlatImpl/RFPlatSession", __LINE__, kComponent, constant), \
        "RFPlatSession", (problem))
#define RFPLAT_INVALID(problem) \
    RFPLAT_FAIL(::qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter", (problem))

sdihal::tRecord<32> keyImage(const DeviceKey& key) {
    return sdihal::tRecord<32>::from(key);
}

uint64_t address(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

struct SensorEntry {
    const char* name;
    int32_t number;
};

// In insertion order; a repeated name keeps its first number.
constexpr SensorEntry kSensors[] = {
    {"rfIn", 1},
    {"rfOut", 2},
    {"rxLo", 1},
    {"txLo", 2},
    {"fpga", 4},
    {"S7XADC", 3},
    {"bc0", 5},
    {"bc1", 6},
    {"bc2", 7},
    {"iqIn", 8},
    {"iqOut", 9},
    {"txMod", 10},
    {"txLo2", 11},
    {"txSig", 12},
    {"rxDemod", 13},
    {"rxLo2", 14},
    {"rxSig", 15},
    {"lo1", 16},
    {"lo1_1", 17},
    {"rf0switch0", 20},
    {"rf0switch1", 21},
    {"rf1switch0", 22},
    {"rf1switch1", 23},
    {"dds0", 24},
    {"dds0LO1", 24},
    {"dds0LO2", 24},
    {"dds1", 25},
    {"dds1LO1", 25},
    {"dds1LO2", 25},
    {"mem", 26},
    {"rxHigh", 27},
    {"rxLow", 28},
    {"rx2", 29},
    {"rx3", 30},
    {"rxLocal", 31},
    {"txHigh", 32},
    {"txLow", 33},
    {"txMixer", 34},
    {"tx3", 35},
    {"txLocal", 36},
    {"conv0", 37},
    {"conv1", 38},
    {"conv2", 73},
    {"conv3", 74},
    {"convFpga0", 39},
    {"convFpga1", 40},
    {"loTxOut", 41},
    {"loTxIn", 42},
    {"loRxIn", 43},
    {"loRxOut", 44},
    {"loLocal", 45},
    {"rf0PnC", 46},
    {"rf1PnC", 47},
    {"rf0Lo", 48},
    {"rf1Lo", 49},
    {"rf0LoTx", 50},
    {"rf1LoTx", 51},
    {"rf0LoRx", 52},
    {"rf1LoRx", 53},
    {"rf0TxInt", 54},
    {"rf1TxInt", 55},
    {"rf0TxExt0", 56},
    {"rf1TxExt0", 57},
    {"rf0TxExt1", 58},
    {"rf1TxExt1", 59},
    {"rf0RxInt", 60},
    {"rf1RxInt", 61},
    {"rf0RxExt0", 62},
    {"rf1RxExt0", 63},
    {"rf0RxExt1", 64},
    {"rf1RxExt1", 65},
    {"rf0L2Int", 66},
    {"rf1L2Int", 67},
    {"rf0L2Ext0", 68},
    {"rf1L2Ext0", 69},
    {"rf0L2Ext1", 70},
    {"rf1L2Ext1", 71},
    {"rmm0Lo", 48},
    {"rmm1Lo", 49},
    {"rmm0LoTx", 50},
    {"rmm1LoTx", 51},
    {"rmm0LoRx", 52},
    {"rmm1LoRx", 53},
    {"rmm0TxInt", 54},
    {"rmm1TxInt", 55},
    {"rmm0TxExt0", 56},
    {"rmm1TxExt0", 57},
    {"rmm0TxExt1", 58},
    {"rmm1TxExt1", 59},
    {"rmm0RxInt", 60},
    {"rmm1RxInt", 61},
    {"rmm0RxExt0", 62},
    {"rmm1RxExt0", 63},
    {"rmm0RxExt1", 64},
    {"rmm1RxExt1", 65},
    {"rmm0L2Int", 66},
    {"rmm1L2Int", 67},
    {"rmm0L2Ext0", 68},
    {"rmm1L2Ext0", 69},
    {"rmm0L2Ext1", 70},
    {"rmm1L2Ext1", 71},
    {"vCal", 72},
    {"auxSwitchTxInt0", 75},
    {"auxSwitchTxInt1", 76},
    {"auxSwitchRxInt0", 77},
    {"auxSwitchRxInt1", 78},
    {"rmm0PnC", 79},
    {"rmm0RfSenA", 80},
    {"rmm0RfSenB", 81},
    {"rf0G10Fem0SenAInt", 82},
    {"rf0G10Fem0SenBInt", 83},
    {"rf0G10Fem0Detector", 84},
    {"rf0G10Fem0Lna2Pa2", 85},
    {"rf0G10Fem0Rflc2", 86},
    {"rf0G10Fem0Lna1Pa1", 87},
    {"rf0G10Fem0Rflc1", 88},
    {"rf0G10Fem1SenAInt", 89},
    {"rf0G10Fem1SenBInt", 90},
    {"rf0G10Fem1Detector", 91},
    {"rf0G10Fem1Lna2Pa2", 92},
    {"rf0G10Fem1Rflc2", 93},
    {"rf0G10Fem1Lna1Pa1", 94},
    {"rf0G10Fem1Rflc1", 95},
    {"rmm0G10Fem0SenAInt", 82},
    {"rmm0G10Fem0SenBInt", 83},
    {"rmm0G10Fem0Detector", 84},
    {"rmm0G10Fem0Lna2Pa2", 85},
    {"rmm0G10Fem0Rflc2", 86},
    {"rmm0G10Fem0Lna1Pa1", 87},
    {"rmm0G10Fem0Rflc1", 88},
    {"rmm0G10Fem1SenAInt", 89},
    {"rmm0G10Fem1SenBInt", 90},
    {"rmm0G10Fem1Detector", 91},
    {"rmm0G10Fem1Lna2Pa2", 92},
    {"rmm0G10Fem1Rflc2", 93},
    {"rmm0G10Fem1Lna1Pa1", 94},
    {"rmm0G10Fem1Rflc1", 95},
};

const std::unordered_map<std::string, int32_t>& sensorTable() {
    static const std::unordered_map<std::string, int32_t> table = [] {
        std::unordered_map<std::string, int32_t> built;
        for (const SensorEntry& entry : kSensors) built.emplace(entry.name, entry.number);
        return built;
    }();
    return table;
}

struct ModuleEntry {
    const char* name;
    uint32_t index;
};

constexpr ModuleEntry kModules[] = {
    {"module", 0},
    {"basecard", 1},
    {"daughtercard", 2},
    {"rf0", 3},
    {"rmm0", 3},
    {"rf1", 4},
    {"rmm1", 4},
    {"rf0switch0", 5},
    {"rf0switch1", 6},
    {"rf1switch0", 7},
    {"rf1switch1", 8},
    {"dotRevision", 9},
    {"auxSwitch_daughtercard", 10},
};

constexpr uint32_t kDotRevisionIndex = 9;

bool isEmpty(const char* text) {
    return text == nullptr || text[0] == '\0';
}

}  // namespace

std::string moduleRevisionConversion(int32_t revision) {
    if (revision == -1) return {};
    if (revision >= 0 && revision <= 9) return std::string(1, static_cast<char>('0' + revision));
    if (revision >= 10 && revision <= 35)
        return std::string(1, static_cast<char>('A' + revision - 10));
    if (revision >= 36 && revision <= 711) {
        const int32_t n = revision - 10;
        return {static_cast<char>(64 + n / 26), static_cast<char>(65 + n % 26)};
    }
    ::qverr::throwWithMessage(
        qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
        QVERR_FIXED_LOCATION("RFPlatImpl/moduleRevisionConversion", __LINE__, kComponent,
                             "qvapalerr_softwareFaultAPALInternalUseOnly"),
        "moduleRevisionConversion", "revision number outside -1 to 711");
}

std::string firmwareRevisionToString(uint32_t word) {
    if (word == 0) return {};
    static constexpr char kStages[] = {'d', 'a', 'b', 'f'};
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u%c%u", word >> 24, (word >> 20) & 0xFu,
                  (word >> 16) & 0xFu, kStages[(word >> 14) & 3u], word & 0x3FFFu);
    return text;
}

uint32_t moduleIndexFromName(const char* name) {
    if (isEmpty(name)) return 0;
    for (const ModuleEntry& entry : kModules) {
        if (std::strcmp(entry.name, name) == 0) return entry.index;
    }
    RFPLAT_INVALID("unknown module name");
}

int32_t temperatureSensorNumber(const char* name) {
    if (name != nullptr) {
        const auto& table = sensorTable();
        if (auto found = table.find(name); found != table.end()) return found->second;
    }
    RFPLAT_INVALID("unknown sensor name");
}

RFPlatSession::RFPlatSession(std::shared_ptr<sdihal::iInterfaceProxy_rfplat> proxy,
                             std::string localName)
    : proxy_(std::move(proxy)), localName_(std::move(localName)), connectedDevices_(1) {
    connectedDevices_.max_load_factor(1.0f);
}

RFPlatSession::~RFPlatSession() = default;

std::string RFPlatSession::getModuleRev(const char* moduleName) {
    const uint32_t index = moduleIndexFromName(moduleName);
    int32_t revision = 0;
    driverRequest([&](tStatus& status) { proxy_->getModuleRev(index, &revision, status); });
    std::string text = moduleRevisionConversion(revision);
    if (index == 0) {
        // The dot revision is optional: any answer but a plain success leaves
        // the text as it is.
        int32_t dot = 0;
        nQVAPALS100::tStatus second;
        proxy_->getModuleRev(kDotRevisionIndex, &dot, second);
        if (second.getCode() == 0 && dot > 99) text.append(".").append(std::to_string(dot));
    }
    return text;
}

void RFPlatSession::checkInitializationStatus(const char* moduleName) {
    const uint32_t index = moduleIndexFromName(moduleName);
    driverRequest([&](tStatus& status) { proxy_->checkInitializationStatus(index, status); });
}

double RFPlatSession::getTemperature(const char* sensorName, uint32_t selector) {
    const int32_t sensor = temperatureSensorNumber(sensorName);
    int32_t numerator = 0;
    int32_t denominator = 1;
    driverRequest([&](tStatus& status) {
        proxy_->getTemperature(static_cast<uint32_t>(sensor), selector, &numerator, &denominator,
                               status);
    });
    if (denominator == 0) return 0.0;
    return static_cast<double>(numerator) / static_cast<double>(denominator);
}

double RFPlatSession::getModulePowerConsumption() {
    int32_t value = 0;
    driverRequest([&](tStatus& status) { proxy_->getModulePowerConsumption(&value, status); });
    return value / 1000.0;
}

uint32_t RFPlatSession::getModulePartNumber(const char* moduleName, uint32_t which) {
    const uint32_t index = moduleIndexFromName(moduleName);
    if (which > 1) RFPLAT_INVALID("which is neither 0 nor 1");
    const uint32_t value = driverRequest(
        [&](tStatus& status) { return proxy_->getModulePartNumber(index, which, status); });
    return value;
}

std::string RFPlatSession::getModuleAssemblyNumber(const char* moduleName) {
    const uint32_t index = moduleIndexFromName(moduleName);
    const uint32_t part = driverRequest(
        [&](tStatus& status) { return proxy_->getModulePartNumber(index, 0, status); });
    const uint32_t dash = driverRequest(
        [&](tStatus& status) { return proxy_->getModulePartNumber(index, 1, status); });
    int32_t revision = 0;
    driverRequest([&](tStatus& status) { proxy_->getModuleRev(index, &revision, status); });
    const std::string letters = moduleRevisionConversion(revision);
    char text[384];
    const int length = std::snprintf(text, sizeof text, "%u%s-%02uL", part, letters.c_str(), dash);
    if (length < 0 || length >= static_cast<int>(sizeof text)) {
        RFPLAT_FAIL(qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly", "assembly number too long");
    }
    return std::string(text, static_cast<size_t>(length));
}

void RFPlatSession::resetDevice() {
    driverRequest([&](tStatus& status) { proxy_->resetDevice(status); });
}

std::vector<std::string> RFPlatSession::getAvailablePorts() {
    return {};
}

void RFPlatSession::selfTest() {
    selfTest(localName_.c_str());
}

void RFPlatSession::selfTest(const char* deviceName) {
    const DeviceKey key = findDeviceKey(deviceName);
    driverRequest([&](tStatus& status) { proxy_->selfTest(keyImage(key), status); });
}

uint32_t RFPlatSession::getDriverInterfaceVersion() {
    const uint32_t version =
        driverRequest([&](tStatus& status) { return proxy_->getDriverInterfaceVersion(status); });
    return version;
}

void RFPlatSession::reserveDeviceForFirmwareUpdate() {
    if (reservedForFirmwareUpdate_.load()) {
        RFPLAT_FAIL(qvmxl::kErrorResourceAlreadyReserved, "qvmxl::kErrorResourceAlreadyReserved",
                    "already reserved for a firmware update");
    }
    driverRequest([&](tStatus& status) { proxy_->reserveDeviceForFirmwareUpdate(status); });
    reservedForFirmwareUpdate_.store(true);
}

void RFPlatSession::unreserveDeviceAfterFirmwareUpdate() {
    if (!reservedForFirmwareUpdate_.load()) {
        RFPLAT_FAIL(qvmxl::kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning,
                    "qvmxl::kErrorCannotGetPropertyWhenTaskNotReservedCommittedOrRunning",
                    "not reserved for a firmware update");
    }
    driverRequest([&](tStatus& status) { proxy_->unreserveDeviceAfterFirmwareUpdate(status); });
    reservedForFirmwareUpdate_.store(false);
}

std::string RFPlatSession::getDriverAttribute(const char* moduleName, uint32_t which) {
    if (which > 1) RFPLAT_INVALID("which is neither 0 nor 1");
    const uint32_t index = moduleIndexFromName(moduleName);
    uint32_t value = 0;
    driverRequest(
        [&](tStatus& status) { proxy_->getDriverAttribute(index, which, &value, status); });
    return firmwareRevisionToString(value);
}

std::string RFPlatSession::getSerialNumber2(const char* moduleName, const char* deviceName) {
    if (moduleName != nullptr) RFPLAT_INVALID("module name given for the serial number");
    const DeviceKey key = findDeviceKey(deviceName);
    uint64_t serial = 0;
    driverRequest(
        [&](tStatus& status) { proxy_->getSerialNumber(&serial, keyImage(key), status); });
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(serial));
    return text;
}

std::pair<uint32_t, uint32_t> RFPlatSession::firmwareRevisionWords(const char* firmwareName,
                                                                   const char* deviceName) {
    const DeviceKey key = findDeviceKey(deviceName);
    const uint32_t index = getFirmwareIndex(firmwareName);
    uint32_t revision = 0;
    uint32_t oldest = 0;
    driverRequest([&](tStatus& status) {
        proxy_->getFirmwareRev(index, keyImage(key), &revision, &oldest, status);
    });
    return {revision, oldest};
}

std::string RFPlatSession::getFirmwareRev2(const char* firmwareName, const char* deviceName) {
    return firmwareRevisionToString(firmwareRevisionWords(firmwareName, deviceName).first);
}

std::string RFPlatSession::getOldestCompatibleFirmwareRev(const char* firmwareName,
                                                          const char* deviceName) {
    return firmwareRevisionToString(firmwareRevisionWords(firmwareName, deviceName).second);
}

void RFPlatSession::programFirmwareRevisions(const char* firmwareName, const char* deviceName,
                                             uint32_t revision, uint32_t oldestCompatible) {
    const uint32_t index = getFirmwareIndex(firmwareName);
    const DeviceKey key = findDeviceKey(deviceName);
    driverRequest([&](tStatus& status) {
        proxy_->programFirmwareRevisions(index, keyImage(key), revision, oldestCompatible, status);
    });
}

std::string RFPlatSession::getDeviceName(const DeviceKey& key) {
    const DeviceKey local = DeviceKey::local();
    if (key.id != local.id || key.kind != local.kind || key.hasFlash != local.hasFlash ||
        key.parentId != local.parentId || key.parentKind != local.parentKind) {
        RFPLAT_INVALID("key is not the local device");
    }
    return localName_;
}

uint32_t RFPlatSession::getFirmwareIndex(const char* firmwareName) {
    if (isEmpty(firmwareName) || localName_ == firmwareName) return 0;
    RFPLAT_INVALID("unknown firmware name");
}

// Connected devices and flash.

const std::unordered_map<std::string, DeviceKey>& RFPlatSession::getConnectedDeviceMap() {
    if (!connectedDevices_.empty()) return connectedDevices_;
    const uint32_t count = driverRequest(
        [&](tStatus& status) { return proxy_->enumerateConnectedDevices(0, 0, status); });
    if (count == 0) {
        connectedDevices_.emplace(getDeviceName(DeviceKey::local()), DeviceKey::local());
        return connectedDevices_;
    }
    // The array's byte size must fit the request's 32-bit size field.
    if (count > std::numeric_limits<uint32_t>::max() / sizeof(DeviceKey)) {
        RFPLAT_FAIL(qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly", "too many connected devices");
    }
    std::vector<DeviceKey> keys(count, DeviceKey::local());
    const uint32_t listed = driverRequest([&](tStatus& status) {
        return proxy_->enumerateConnectedDevices(
            address(keys.data()), static_cast<uint32_t>(count * sizeof(DeviceKey)), status);
    });
    if (listed != count) {
        RFPLAT_FAIL(qverr::qvapalerr_softwareFaultAPALInternalUseOnly,
                    "qvapalerr_softwareFaultAPALInternalUseOnly",
                    "device count changed between enumerations");
    }
    for (const DeviceKey& key : keys) {
        if (key.isRoot()) continue;
        const bool parentListed =
            std::any_of(keys.begin(), keys.end(), [&](const DeviceKey& other) {
                return other.id == key.parentId && other.kind == key.parentKind;
            });
        if (!parentListed)
            RFPLAT_FAIL(qverr::qvapalerr_resourceNotFound, "qvapalerr_resourceNotFound",
                        "parent device missing from the enumeration");
    }
    std::unordered_map<std::string, DeviceKey> built(1);
    built.max_load_factor(1.0f);
    for (const DeviceKey& key : keys) built.emplace(getDeviceName(key), key);
    connectedDevices_ = std::move(built);
    return connectedDevices_;
}

DeviceKey RFPlatSession::findDeviceKey(const char* deviceName) {
    const std::string name = deviceName != nullptr ? deviceName : localName_;
    const auto& devices = getConnectedDeviceMap();
    if (auto found = devices.find(name); found != devices.end()) return found->second;
    if (name.find("rf0") != std::string::npos) {
        if (auto found = devices.find("rmm0"); found != devices.end()) return found->second;
    }
    RFPLAT_INVALID("unknown device name");
}

DeviceKey RFPlatSession::flashKey(const char* deviceName) {
    const DeviceKey key = findDeviceKey(deviceName);
    if (key.hasFlash == 0) RFPLAT_INVALID("device has no flash");
    return key;
}

std::vector<ConnectedDeviceInfo> RFPlatSession::getConnectedDevices() {
    std::vector<ConnectedDeviceInfo> records;
    for (const auto& [name, key] : getConnectedDeviceMap()) {
        if (name.size() > 127) RFPLAT_INVALID("device name longer than 127 characters");
        ConnectedDeviceInfo info{};
        info.id = key.id;
        info.parentId = key.parentId;
        info.kind = key.kind;
        info.parentKind = key.parentKind;
        info.hasFlash = key.hasFlash;
        std::memcpy(info.name, name.c_str(), name.size() + 1);
        records.push_back(info);
    }
    std::sort(records.begin(), records.end(),
              [](const ConnectedDeviceInfo& a, const ConnectedDeviceInfo& b) {
                  return std::strncmp(a.name, b.name, sizeof a.name) < 0;
              });
    return records;
}

std::vector<std::string> RFPlatSession::getFlashDevices() {
    std::vector<std::string> names;
    for (const auto& [name, key] : getConnectedDeviceMap()) {
        if (key.hasFlash != 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RFPlatSession::getFlashDeviceInfo2(uint32_t* a, uint32_t* b, uint32_t* c,
                                        const char* deviceName) {
    // a and b are checked before c, each with the frame's null-argument raise.
    ::qv3377hal::checkNotNull(a, b);
    ::qv3377hal::checkNotNull(c);
    *a = *b = *c = 0;
    const DeviceKey key = flashKey(deviceName);
    uint32_t info[3] = {};
    driverRequest([&](tStatus& status) {
        proxy_->getFlashDeviceInfo(&info[0], &info[1], &info[2], keyImage(key), status);
    });
    *a = info[0];
    *b = info[1];
    *c = info[2];
}

void RFPlatSession::getPartitionList(uint32_t* buffer, uint32_t* count, const char* deviceName) {
    const DeviceKey key = flashKey(deviceName);
    // The byte size of the caller's array must fit the request's 32-bit field.
    if (*count > std::numeric_limits<uint32_t>::max() / sizeof(uint32_t)) {
        RFPLAT_FAIL(qverr::qvapalerr_invalidParameter, "qvapalerr_invalidParameter",
                    "partition count too large");
    }
    nQVAPALS100::tStatus status;
    const uint32_t listed = proxy_->getPartitionList(
        address(buffer), static_cast<uint32_t>(*count * sizeof(uint32_t)), keyImage(key), status);
    *count = status.isError() ? 0 : listed;
    qverr::throwIfTStatusError(status);
}

void RFPlatSession::readPartitionTable2(void* buffer, uint32_t size, uint32_t flag,
                                        const char* deviceName) {
    const DeviceKey key = flashKey(deviceName);
    driverRequest([&](tStatus& status) {
        proxy_->readPartitionTable(address(buffer), size, static_cast<int32_t>(flag & 0xFFu),
                                   keyImage(key), status);
    });
}

void RFPlatSession::readPartition2(uint32_t partition, void* buffer, uint32_t* size,
                                   const char* deviceName, uint32_t* word) {
    const DeviceKey key = flashKey(deviceName);
    // The caller's size and word change only when the request succeeds.
    uint32_t newSize = *size;
    uint32_t newWord = *word;
    driverRequest([&](tStatus& status) {
        proxy_->readPartition(partition, address(buffer), &newSize, keyImage(key), &newWord,
                              status);
    });
    *size = newSize;
    *word = newWord;
}

void RFPlatSession::writePartition2(uint32_t partition, const void* buffer, uint32_t size,
                                    uint32_t flag, const char* deviceName, uint32_t* word) {
    const DeviceKey key = flashKey(deviceName);
    uint32_t newWord = *word;
    driverRequest([&](tStatus& status) {
        proxy_->writePartition(partition, address(buffer), size, static_cast<uint8_t>(flag & 0xFFu),
                               keyImage(key), &newWord, status);
    });
    *word = newWord;
}

void RFPlatSession::deletePartition2(uint32_t partition, const char* deviceName, uint32_t* word) {
    const DeviceKey key = flashKey(deviceName);
    uint32_t newWord = *word;
    driverRequest([&](tStatus& status) {
        proxy_->deletePartition(partition, keyImage(key), &newWord, status);
    });
    *word = newWord;
}

}  // namespace rfplat
