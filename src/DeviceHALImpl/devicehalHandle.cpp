#include "DeviceHALImpl/devicehalHandle.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
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

// The kind a family demands of its handle, by the context id its sub-session
// is handed out for; nothing for the placeholders and the peer-to-peer
// description text, which no family takes as a handle.
std::optional<HandleKind> familyKindOf(uint32_t id) {
    switch (id) {
        case context::kDataAccess:
            return HandleKind::dataAccessContext;
        case context::kCalInDsp:
            return HandleKind::calInDspContext;
        case context::kCalOutDsp:
            return HandleKind::calOutDspContext;
        case context::kDigitalGain:
            return HandleKind::digitalGainContext;
        case context::kDigitalOffset:
        case context::kSecondDigitalOffset:
            return HandleKind::digitalOffsetContext;
        case context::kEqualizer:
        case context::kEqualizerV3:
        case context::kSecondChainEqualizer:
            return HandleKind::equalizerContext;
        case context::kFreqShift:
            return HandleKind::freqShiftContext;
        case context::kImpairments:
            return HandleKind::impairmentsContext;
        case context::kIQDataTrigger:
            return HandleKind::iqDataTriggerContext;
        case context::kResampler:
            return HandleKind::resamplerContext;
        case context::kListMode:
            return HandleKind::listModeContext;
        case context::kDataPath:
            return HandleKind::dataPathContext;
        case context::kTrig:
            return HandleKind::trigContext;
        case context::kTimer:
            return HandleKind::timerContext;
        case context::kBasecardConfig:
            return HandleKind::basecardConfigContext;
        case context::kSelfCal:
            return HandleKind::selfCalContext;
        case context::kWGen:
            return HandleKind::wgenContext;
        case context::kReservation:
            return HandleKind::reservationContext;
        case context::kIQConfig:
            return HandleKind::iqConfigContext;
        case context::kRouting:
            return HandleKind::routingContext;
        case context::kIQManipulation:
            return HandleKind::iqManipulationContext;
        case context::kMra:
            return HandleKind::mraContext;
        case context::kSyntraSync:
            return HandleKind::syntraSyncContext;
        default:
            return std::nullopt;
    }
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
        const auto kind = qv3377hal::familyKindOf(contextId);
        if (context != nullptr && kind) {
            qv3377hal::addHandle(qv3377hal::handleOf(context), *kind, deviceHandle,
                                 qv3377hal::HandleKind::deviceSession);
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
