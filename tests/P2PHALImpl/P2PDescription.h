// The peer-to-peer endpoint description as the device session writes it
// for context 17, built by the tests.
#pragma once

#include <string>
#include <vector>

namespace p2ptest {

struct DescribedEndpoint {
    std::string name;
    std::string direction;
    std::string fifo;
    std::string valid;
};

// The head, each endpoint and the tail with the device session's spacing;
// endpoints beyond the first (the device session writes one) are joined
// with ", ".
inline std::string describe(const std::string& fpgaSession, const std::vector<DescribedEndpoint>& endpoints) {
    std::string text = "{\"fpgaSessionHandle\":\"" + fpgaSession + "\", \"endpoints\": [";
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const DescribedEndpoint& e = endpoints[i];
        if (i != 0) text += ", ";
        text += "{\"name\": \"" + e.name + "\", \"direction\":\"" + e.direction + "\", \"fifoResourceID\":\"" +
                e.fifo + "\", \"valid\":\"" + e.valid + "\"}";
    }
    return text + "]}";
}

inline const char* const kAcquisitionFifo = "p2p.acq.fifo.I16.width 16.depth 16k";
inline const char* const kGenerationFifo = "p2p.gen.fifo.I16.width 16.depth 32k";

}  // namespace p2ptest
