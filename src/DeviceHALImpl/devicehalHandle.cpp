#include "DeviceHALImpl/devicehalHandle.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "DeviceHALImpl/DeviceHALSession.h"
#include "HALUtilities/ContextHandle.h"
#include "qverr/DetailWriter.h"

namespace qv3377hal {
namespace {

constexpr const char* kFile = "DeviceHALImpl/DeviceHALSession.cpp";

std::unique_ptr<DeviceSession> openDeviceSession(const char* params, const char* instance) {
    const size_t length = std::strlen(instance);
    if (length > 2) {
        // "non" matches as well: the comparison runs over the caller's text.
        if (std::strncmp(instance, "none", std::min<size_t>(length, 5)) == 0) {
            return std::make_unique<AcqDeviceSession>(kSubsystemNone, params);
        }
        const bool ai = std::strncmp(instance, "ai/", 3) == 0;
        const bool ao = std::strncmp(instance, "ao/", 3) == 0;
        if (ai || ao) {
            const char* digits = instance + 3;
            char* end = nullptr;
            errno = 0;
            const unsigned long number = std::strtoul(digits, &end, 10);
            if (*end == '\0') {
                // Only instance 0 exists; a number beyond 32 bits is not
                // taken modulo 2^32 into a valid one.
                if (number != 0 || errno == ERANGE) {
                    throw qverr::Exception(
                        qverr::qvapalerr_invalidParameter,
                        qverr::SourceLocation{kFile, 29, kComponent, "qvapalerr_invalidParameter"});
                }
                if (ai) return std::make_unique<AcqDeviceSession>(kSubsystemAi, params);
                return std::make_unique<GenDeviceSession>(params);
            }
        }
    }
    throw std::runtime_error("invalid SubsystemInstance type!");
}

// Every context but the placeholders and the peer-to-peer description text
// is a sub-session that a family binds to a handle.
bool isFamilyContext(uint32_t id) {
    return id != 11 && id != 17 && id != 21;
}

}  // namespace
}  // namespace qv3377hal

using qv3377hal::returnCodeCall;

QV_EXPORT int32_t device_open(const char* sessionParamsJson, const char* subsystemInstance,
                              uint64_t* handleOut) {
    return returnCodeCall([&] {
        qv3377hal::checkNotNull(sessionParamsJson, subsystemInstance, handleOut);
        *handleOut = 0;
        auto session = qv3377hal::openDeviceSession(sessionParamsJson, subsystemInstance);
        const uint64_t handle = qv3377hal::handleOf(session.get());
        qv3377hal::addHandle(handle, qv3377hal::HandleKind::deviceSession);
        session.release();
        *handleOut = handle;
    });
}

QV_EXPORT int32_t device_getContext(uint64_t deviceHandle, uint32_t contextId, uint8_t flag,
                                    uint64_t* contextOut) {
    return returnCodeCall([&] {
        if (contextOut == nullptr) {
            qverr::throwWithMessage(
                qverr::qvapalerr_invalidParameter,
                qverr::SourceLocation{qv3377hal::kFile, 68, qv3377hal::kComponent,
                                      "qvapalerr_invalidParameter"},
                "getContext", "contextOut is nullptr");
        }
        void* context = qv3377hal::sessionPtrFromHandle(deviceHandle)->getContext(contextId, flag);
        if (context != nullptr && qv3377hal::isFamilyContext(contextId)) {
            qv3377hal::addHandle(qv3377hal::handleOf(context), qv3377hal::HandleKind::deviceContext,
                                 deviceHandle);
        }
        *contextOut = qv3377hal::handleOf(context);
    });
}

QV_EXPORT void device_close(uint64_t handle) {
    try {
        delete qv3377hal::takeSessionFromHandle(handle);
    } catch (...) {
        // Nothing is reported from a close.
    }
}
