#include "P2PHALImpl/p2pHALSession.h"

#include <cjson/cJSON.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "apal_qv3377k/tInterfaceProxy_p2p.h"
#include "qvapal/protons/cppNewDelete/memoryAllocation.h"
#include "qverr/Status.h"
#include "qvisl/FifoFpgaHw.h"

namespace p2phal {
namespace {

constexpr const char* kComponent = "qv3377hal";
constexpr const char* kFile = "P2PHALImpl/p2pHALSession.cpp";

void invalid(tStatus& status, uint64_t line) {
    status.setCode(qverr::qvapalerr_invalidParameter, kComponent, kFile, line);
}

using Json = std::unique_ptr<cJSON, void (*)(cJSON*)>;

// The member's text when it exists and is a string, else null.
const char* stringMember(const cJSON* object, const char* key) {
    const cJSON* member = cJSON_GetObjectItemCaseSensitive(object, key);
    return cJSON_IsString(member) ? member->valuestring : nullptr;
}

}  // namespace

bool parseNumberText(const char* text, uint32_t& value) {
    // strtoull alone would skip blanks, take a sign and stop at the first
    // stray character: a FIFO or session number must be nothing but digits.
    if (text == nullptr || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || parsed > UINT32_MAX) return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

uint32_t parseEndpointDescription(const char* text, std::vector<Endpoint>& endpoints,
                                  tStatus& status) {
    if (status.isError()) return 0;
    Json json(text == nullptr ? nullptr : cJSON_Parse(text), cJSON_Delete);
    if (!json) {
        invalid(status, __LINE__);
        return 0;
    }
    uint32_t session = 0;
    if (!parseNumberText(stringMember(json.get(), "fpgaSessionHandle"), session) || session == 0) {
        invalid(status, __LINE__);
        return 0;
    }
    const cJSON* list = cJSON_GetObjectItemCaseSensitive(json.get(), "endpoints");
    if (!cJSON_IsArray(list)) {
        invalid(status, __LINE__);
        return session;
    }
    const cJSON* element = nullptr;
    cJSON_ArrayForEach(element, list) {
        const char* name = stringMember(element, "name");
        const char* direction = name ? stringMember(element, "direction") : nullptr;
        const char* fifoText = direction ? stringMember(element, "fifoResourceID") : nullptr;
        const char* valid = fifoText ? stringMember(element, "valid") : nullptr;
        uint32_t fifo = 0;
        if (valid == nullptr || !parseNumberText(fifoText, fifo)) {
            invalid(status, __LINE__);
            return session;
        }
        Endpoint endpoint;
        if (std::strcmp(direction, "reader") == 0) {
            endpoint.direction = kReader;
        } else if (std::strcmp(direction, "writer") != 0) {
            // Kept, as the description listed it, but the session fails.
            invalid(status, __LINE__);
        }
        endpoint.fifo = std::make_shared<qvisl::FifoFpgaHw<short>>(session, fifo);
        endpoint.name = name;
        endpoint.valid = std::strcmp(valid, "1") == 0;
        endpoints.push_back(std::move(endpoint));
        if (status.isError()) return session;
    }
    return session;
}

p2pHALSession::p2pHALSession(const char* devicePath, const char* endpointsJson, tStatus& status) {
    parseEndpointDescription(endpointsJson, endpoints_, status);
    std::unique_ptr<sdihal::tInterfaceProxy_p2p> proxy(new (status) sdihal::tInterfaceProxy_p2p);
    if (!proxy) return;
    if (devicePath == nullptr) {
        invalid(status, __LINE__);
        return;
    }
    proxy->open(devicePath, status);
    // Only a session made whole gets its proxy: the operations of one that
    // failed find none and refuse.
    if (!status.isError()) proxy_ = std::move(proxy);
}

p2pHALSession::~p2pHALSession() {
    // The device file closes before the FIFOs go.
    proxy_.reset();
    endpoints_.clear();
}

bool p2pHALSession::usable(tStatus& status) {
    if (!proxy_) invalid(status, __LINE__);
    return proxy_ != nullptr;
}

const Endpoint* p2pHALSession::endpoint(uint32_t index, tStatus& status) {
    if (index >= endpoints_.size()) {
        invalid(status, __LINE__);
        return nullptr;
    }
    return &endpoints_[index];
}

const Endpoint* p2pHALSession::endpoint(uint32_t index, uint32_t direction, tStatus& status) {
    const Endpoint* found = endpoint(index, status);
    if (found != nullptr && found->direction != direction) {
        invalid(status, __LINE__);
        return nullptr;
    }
    return found;
}

uint64_t p2pHALSession::getNumEndpointsAvailable(tStatus& status) {
    return usable(status) ? endpoints_.size() : 0;
}

bool p2pHALSession::isEndpointValid(uint32_t index, tStatus& status) {
    const Endpoint* e = usable(status) ? endpoint(index, status) : nullptr;
    return e != nullptr && e->valid;
}

uint32_t p2pHALSession::getEndpointHandle(uint32_t index, tStatus& status) {
    const Endpoint* e = usable(status) ? endpoint(index, status) : nullptr;
    return e == nullptr ? 0 : e->fifo->getPeerToPeerEndpoint(status);
}

uint64_t p2pHALSession::getEndpointSize(uint32_t index, tStatus& status) {
    const Endpoint* e = usable(status) ? endpoint(index, status) : nullptr;
    return e == nullptr ? 0 : proxy_->getEndpointSize(index, e->direction, status);
}

void p2pHALSession::setEnabled(uint32_t index, bool enable, tStatus& status) {
    const Endpoint* e = usable(status) ? endpoint(index, status) : nullptr;
    if (e != nullptr) proxy_->setEnabled(index, e->direction, enable, status);
}

// The requests on one endpoint of a given direction, which carry only its
// index.
#define P2P_ENDPOINT_REQUEST(RESULT, METHOD, DIRECTION)                                 \
    RESULT p2pHALSession::METHOD(uint32_t index, tStatus& status) {                     \
        if (!usable(status) || endpoint(index, DIRECTION, status) == nullptr) return 0; \
        return proxy_->METHOD(index, status);                                           \
    }

P2P_ENDPOINT_REQUEST(uint64_t, getMostSamplesInSource, kWriter)
P2P_ENDPOINT_REQUEST(uint64_t, getSamplesTransferred, kWriter)
P2P_ENDPOINT_REQUEST(uint64_t, getSamplesInEndpoint, kWriter)
P2P_ENDPOINT_REQUEST(uint64_t, getSpaceAvailableInSink, kReader)
P2P_ENDPOINT_REQUEST(uint64_t, getMostSpaceAvailableInSink, kReader)
P2P_ENDPOINT_REQUEST(uint64_t, getSampleQuantum, kReader)

bool p2pHALSession::getHasOverflowed(uint32_t index, tStatus& status) {
    if (!usable(status) || endpoint(index, kWriter, status) == nullptr) return false;
    return proxy_->getHasOverflowed(index, status) != 0;
}

void p2pHALSession::setNumberOfSamplesToRead(uint32_t index, uint64_t count, tStatus& status) {
    if (usable(status) && endpoint(index, kReader, status) != nullptr) {
        proxy_->setNumberOfSamplesToRead(index, count, status);
    }
}

void p2pHALSession::programEndpointFullnessTrigger(uint32_t index, uint64_t value,
                                                   tStatus& status) {
    if (usable(status) && endpoint(index, kReader, status) != nullptr) {
        proxy_->programEndpointFullnessTrigger(index, value, status);
    }
}

void p2pHALSession::setOnboardMemoryEnabled(bool enable, tStatus& status) {
    if (usable(status)) proxy_->setOnboardMemoryEnabled(enable, status);
}

void p2pHALSession::initiateSource(tStatus& status) {
    if (usable(status)) proxy_->initiateSource(status);
}

bool p2pHALSession::checkAcquisitionStatus(tStatus& status) {
    return usable(status) && proxy_->checkAcquisitionStatus(status) != 0;
}

void p2pHALSession::abortSource(tStatus& status) {
    if (usable(status)) proxy_->abortSource(status);
}

void p2pHALSession::initiateSink(tStatus& status) {
    if (usable(status)) proxy_->initiateSink(status);
}

bool p2pHALSession::checkGenerationStatus(bool* secondFlag, tStatus& status) {
    if (!usable(status)) return false;
    uint8_t second = *secondFlag ? 1 : 0;
    const bool first = proxy_->checkGenerationStatus(&second, status) != 0;
    if (status.isError()) return false;
    *secondFlag = second != 0;
    return first;
}

void p2pHALSession::abortSink(tStatus& status) {
    if (usable(status)) proxy_->abortSink(status);
}

void p2pHALSession::setNumberOfSamplesToWrite(uint64_t count, tStatus& status) {
    if (usable(status)) proxy_->setNumberOfSamplesToWrite(count, status);
}

}  // namespace p2phal
