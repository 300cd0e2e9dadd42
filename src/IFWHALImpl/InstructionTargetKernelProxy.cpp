#include "IFWHALImpl/InstructionTargetKernelProxy.h"

#include <cjson/cJSON.h>

#include <memory>

#include "HALUtilities/ErrorHandling.h"

namespace qvifw {
namespace {

// An integer member of the open text, 0 when absent or not a number. The
// whole 32-bit range is kept (cJSON's own integer stops at INT_MAX).
uint32_t numberOr0(const cJSON* object, const char* key) {
    const cJSON* item = cJSON_GetObjectItem(object, key);
    if (!cJSON_IsNumber(item)) return 0;
    const double value = item->valuedouble;
    if (value >= -2147483648.0 && value <= 4294967295.0) {
        return static_cast<uint32_t>(static_cast<int64_t>(value));
    }
    return static_cast<uint32_t>(item->valueint);
}

}  // namespace

OpenRequest parseOpenRequest(const char* json) {
    if (json == nullptr) qv3377hal::throwNullArgument();
    const std::unique_ptr<cJSON, void (*)(cJSON*)> parsed(cJSON_Parse(json), cJSON_Delete);
    // cJSON looks object keys up without regard to letter case.
    const cJSON* path = cJSON_GetObjectItem(parsed.get(), "deviceInterfacePath");
    if (!cJSON_IsString(path) || path->valuestring == nullptr || path->valuestring[0] == '\0') {
        qv3377hal::throwNullArgument();
    }
    return {path->valuestring, numberOr0(parsed.get(), "type"),
            numberOr0(parsed.get(), "instance")};
}

void InstructionTargetKernelProxy::open(const char* deviceInterfacePath, uint32_t type,
                                        uint32_t instance, nQVAPALS100::tStatus& status) {
    proxy_.open(deviceInterfacePath, status);
    proxy_.open(type, instance, status);
}

void InstructionTargetKernelProxy::read(const Location& location, uint64_t* value, uint32_t option,
                                        nQVAPALS100::tStatus& status) {
    // The driver's value comes back with its error; only a failed ioctl
    // leaves the caller's value as it was.
    proxy_.read(sdihal::tRecord<16>::from(location), value, option, status);
}

void InstructionTargetKernelProxy::readArray(void* buffer, uint32_t count, uint64_t reference,
                                             uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.readArray(reinterpret_cast<uintptr_t>(buffer), count, reference, option, status);
}

void InstructionTargetKernelProxy::write(const LocationWithValue& location, bool flag,
                                         uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.write(sdihal::tRecord<24>::from(location), flag ? 1 : 0, option, status);
}

void InstructionTargetKernelProxy::writeArray(const void* buffer, uint32_t count, bool flag,
                                              uint32_t option, nQVAPALS100::tStatus& status) {
    proxy_.writeArray(reinterpret_cast<uintptr_t>(buffer), count, flag ? 1 : 0, option, status);
}

void InstructionTargetKernelProxy::finish(nQVAPALS100::tStatus& status) {
    proxy_.close(status);
}

}  // namespace qvifw
