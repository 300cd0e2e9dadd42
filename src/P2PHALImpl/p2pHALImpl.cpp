#include "P2PHALImpl/p2pHALImpl.h"

#include <cjson/cJSON.h>

#include <memory>
#include <string>

#include "qverr/DetailWriter.h"

namespace p2phal {
namespace {

constexpr const char* kFile = "P2PHALImpl/p2pHALImpl.cpp";

// One export: a fresh platform status that `body` fills; exceptions (a null
// pointer or handle) land in it by the platform ladder.
template <class Body>
int32_t call(uint64_t line, Body&& body) {
    nQVAPALS100::tStatus status;
    return qv3377hal::platformStatusCall(status, qv3377hal::kComponent, kFile, line,
                                         [&] { body(status); });
}

// A result goes out only when its request succeeded.
template <class Out, class Value>
void deliver(const tStatus& status, Out* out, Value value) {
    if (!status.isError()) *out = static_cast<Out>(value);
}

// An operation that yields a value into a required output.
template <class Out, class Operation>
int32_t query(uint64_t line, void* handle, Out* out, Operation&& operation) {
    return call(line, [&](tStatus& status) {
        qv3377hal::checkNotNull(out);
        p2pHALSession& session = *sessionRefFromHandle(handle);
        deliver(status, out, operation(session, status));
    });
}

template <class Operation>
int32_t command(uint64_t line, void* handle, Operation&& operation) {
    return call(line, [&](tStatus& status) { operation(*sessionRefFromHandle(handle), status); });
}

}  // namespace

namespace {

// A null handle, or one that names no open session.
constexpr qverr::SourceLocation kInvalidSessionSite{kFile, __LINE__, qv3377hal::kComponent,
                                                    "qvapalerr_invalidParameter"};
const qv3377hal::HandleRefusal kInvalidSession{kInvalidSessionSite, "sessionRefFromHandle",
                                               "Could not get pointer to session from handle."};

}  // namespace

p2pHALSession* sessionRefFromHandle(void* handle) {
    return qv3377hal::objectFromHandle<p2pHALSession>(
        qv3377hal::handleOf(handle), qv3377hal::HandleKind::p2pSession, kInvalidSession);
}

p2pHALSession* takeSessionFromHandle(void* handle) {
    return qv3377hal::takeObjectFromHandle<p2pHALSession>(
        qv3377hal::handleOf(handle), qv3377hal::HandleKind::p2pSession, kInvalidSession);
}

}  // namespace p2phal

using p2phal::command;
using p2phal::p2pHALSession;
using p2phal::query;
using p2phal::tStatus;

int32_t p2p_open(const char* sessionParamsJson, const char* endpointsJson, void** handleOut) {
    return p2phal::call(__LINE__, [&](tStatus& status) {
        qv3377hal::checkNotNull(handleOut, sessionParamsJson, endpointsJson);
        std::unique_ptr<cJSON, void (*)(cJSON*)> parameters(cJSON_Parse(sessionParamsJson),
                                                            cJSON_Delete);
        const cJSON* path =
            cJSON_GetObjectItemCaseSensitive(parameters.get(), "deviceInterfacePath");
        // Registered whatever the status: a session that failed to build is
        // still released with p2p_close.
        auto session = std::make_unique<p2pHALSession>(
            cJSON_IsString(path) ? path->valuestring : nullptr, endpointsJson, status);
        qv3377hal::addHandle(qv3377hal::handleOf(session.get()), qv3377hal::HandleKind::p2pSession);
        *handleOut = session.release();
    });
}

int32_t p2p_close(void* handle) {
    return p2phal::call(__LINE__, [&](tStatus&) { delete p2phal::takeSessionFromHandle(handle); });
}

int32_t p2p_getNumEndpointsAvailable(void* handle, uint64_t* countOut) {
    return query(__LINE__, handle, countOut, [](p2pHALSession& s, tStatus& status) {
        return s.getNumEndpointsAvailable(status);
    });
}

int32_t p2p_isEndpointValid(void* handle, uint32_t index, uint8_t* validOut) {
    return query(__LINE__, handle, validOut, [&](p2pHALSession& s, tStatus& status) {
        return s.isEndpointValid(index, status);
    });
}

int32_t p2p_getEndpointHandle(void* handle, uint32_t index, uint32_t* endpointHandleOut) {
    return query(__LINE__, handle, endpointHandleOut, [&](p2pHALSession& s, tStatus& status) {
        return s.getEndpointHandle(index, status);
    });
}

int32_t p2p_setEnabled(void* handle, uint32_t index, int32_t enable) {
    return command(__LINE__, handle, [&](p2pHALSession& s, tStatus& status) {
        s.setEnabled(index, enable != 0, status);
    });
}

int32_t p2p_getEndpointSize(void* handle, uint32_t index, uint64_t* sizeOut) {
    return query(__LINE__, handle, sizeOut, [&](p2pHALSession& s, tStatus& status) {
        return s.getEndpointSize(index, status);
    });
}

int32_t p2p_setOnboardMemoryEnabled(void* handle, int32_t enable) {
    return command(__LINE__, handle, [&](p2pHALSession& s, tStatus& status) {
        s.setOnboardMemoryEnabled(enable != 0, status);
    });
}

int32_t p2p_getMostSamplesInSource(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getMostSamplesInSource(index, status);
    });
}

int32_t p2p_getHasOverflowed(void* handle, uint32_t index, uint32_t* flagOut) {
    return query(__LINE__, handle, flagOut, [&](p2pHALSession& s, tStatus& status) {
        return s.getHasOverflowed(index, status);
    });
}

int32_t p2p_getSamplesTransferred(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getSamplesTransferred(index, status);
    });
}

int32_t p2p_getSamplesInEndpoint(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getSamplesInEndpoint(index, status);
    });
}

int32_t p2p_initiateSource(void* handle) {
    return command(__LINE__, handle,
                   [](p2pHALSession& s, tStatus& status) { s.initiateSource(status); });
}

int32_t p2p_checkAcquisitionStatus(void* handle, uint32_t* flagOut) {
    return query(__LINE__, handle, flagOut, [](p2pHALSession& s, tStatus& status) {
        return s.checkAcquisitionStatus(status);
    });
}

int32_t p2p_abortSource(void* handle) {
    return command(__LINE__, handle,
                   [](p2pHALSession& s, tStatus& status) { s.abortSource(status); });
}

int32_t p2p_setNumberOfSamplesToWrite(void* handle, uint64_t count) {
    return command(__LINE__, handle, [&](p2pHALSession& s, tStatus& status) {
        s.setNumberOfSamplesToWrite(count, status);
    });
}

int32_t p2p_initiateSink(void* handle) {
    return command(__LINE__, handle,
                   [](p2pHALSession& s, tStatus& status) { s.initiateSink(status); });
}

int32_t p2p_checkGenerationStatus(void* handle, uint32_t* firstFlagOut, uint32_t* secondFlagOut) {
    return p2phal::call(__LINE__, [&](tStatus& status) {
        qv3377hal::checkNotNull(firstFlagOut, secondFlagOut);
        p2pHALSession& session = *p2phal::sessionRefFromHandle(handle);
        // The flag sent to the driver is not the caller's: it starts clear.
        bool second = false;
        const bool first = session.checkGenerationStatus(&second, status);
        p2phal::deliver(status, firstFlagOut, first);
        p2phal::deliver(status, secondFlagOut, second);
    });
}

int32_t p2p_abortSink(void* handle) {
    return command(__LINE__, handle,
                   [](p2pHALSession& s, tStatus& status) { s.abortSink(status); });
}

int32_t p2p_getSpaceAvailableInSink(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getSpaceAvailableInSink(index, status);
    });
}

int32_t p2p_getMostSpaceAvailableInSink(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getMostSpaceAvailableInSink(index, status);
    });
}

int32_t p2p_getSampleQuantum(void* handle, uint32_t index, uint64_t* out) {
    return query(__LINE__, handle, out, [&](p2pHALSession& s, tStatus& status) {
        return s.getSampleQuantum(index, status);
    });
}

int32_t p2p_setNumberOfSamplesToRead(void* handle, uint32_t index, uint64_t count) {
    return command(__LINE__, handle, [&](p2pHALSession& s, tStatus& status) {
        s.setNumberOfSamplesToRead(index, count, status);
    });
}

int32_t p2p_programEndpointFullnessTrigger(void* handle, uint32_t index, const uint64_t* value) {
    return p2phal::call(__LINE__, [&](tStatus& status) {
        qv3377hal::checkNotNull(value);
        p2phal::sessionRefFromHandle(handle)->programEndpointFullnessTrigger(index, *value, status);
    });
}
