// The peer-to-peer streaming library stand-in: numbers the endpoints that
// register, asks each for its data type through the endpoint interface, and
// refuses a registration when told to.
#include "qvp2p/P2PSim.h"

#include <mutex>
#include <set>

#include "atomiczekddk/p2p/P2PEndpointSession.h"

#define P2P_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex mutex;
std::set<uint32_t> registered;
uint32_t nextId = 1;
int32_t refusal = 0;
bool dataTypeOk = false;
uint32_t dataType[5] = {};

}  // namespace

P2P_EXPORT int32_t qvstreamuRegisterEndpointInternal(nQVP2P::iEndpointSession* endpoint,
                                                     uint32_t* id) {
    std::lock_guard<std::mutex> lock(mutex);
    if (refusal < 0) {
        const int32_t code = refusal;
        refusal = 0;
        return code;
    }
    uint32_t count = 0;
    nQVP2P::tDataType record{};
    dataTypeOk = endpoint->getDataType(nullptr, &count) == 0 && count == 1 &&
                 endpoint->getDataType(&record, &count) == 0;
    dataType[0] = record.containerSize;
    dataType[1] = record.wordLength;
    dataType[2] = static_cast<uint32_t>(record.integerWordLength);
    dataType[3] = record.isSigned;
    dataType[4] = count;
    *id = nextId++;
    registered.insert(*id);
    return 0;
}

P2P_EXPORT int32_t qvstreamuUnregisterEndpointInternal(uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex);
    return registered.erase(id) == 1 ? 0 : -52006;
}

P2P_EXPORT void qvp2psim_refuseNext(int32_t code) {
    std::lock_guard<std::mutex> lock(mutex);
    refusal = code;
}

P2P_EXPORT uint64_t qvp2psim_registered() {
    std::lock_guard<std::mutex> lock(mutex);
    return registered.size();
}

P2P_EXPORT bool qvp2psim_lastDataType(uint32_t* fields, uint32_t* count) {
    std::lock_guard<std::mutex> lock(mutex);
    for (int i = 0; i < 4; ++i) fields[i] = dataType[i];
    *count = dataType[4];
    return dataTypeOk;
}
