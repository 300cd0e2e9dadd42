// The peer-to-peer endpoint description as p2p_open reads it: on its own,
// then through a session that has no device file (so it never opens).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "P2PHALImpl/p2pHALSession.h"
#include "qvisl/FifoFpgaHw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<p2phal::Endpoint> endpoints;
    nQVAPALS100::tStatus status;
    const uint32_t session = p2phal::parseEndpointDescription(text.c_str(), endpoints, status);
    if (status.code != 0 && status.code != -52005) std::abort();
    if (status.code == 0 && session == 0) std::abort();
    for (const p2phal::Endpoint& e : endpoints) {
        if (!e.fifo || e.fifo->session() != session) std::abort();
        if (e.direction != p2phal::kWriter && e.direction != p2phal::kReader) std::abort();
    }

    nQVAPALS100::tStatus sessionStatus;
    p2phal::p2pHALSession p2p(nullptr, text.c_str(), sessionStatus);
    if (sessionStatus.code != -52005) std::abort();
    nQVAPALS100::tStatus operationStatus;
    if (p2p.getNumEndpointsAvailable(operationStatus) != 0 || operationStatus.code != -52005)
        std::abort();
    return 0;
}
