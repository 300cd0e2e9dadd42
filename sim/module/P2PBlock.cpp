#include "module/P2PBlock.h"

#include <cerrno>

#include "module/Replies.h"

namespace qvsim {

P2PBlock::P2PBlock(GuardedDecoder& decoder) {
    auto endpoint = [this](const DecodedRequest& request) -> Endpoint* {
        const int64_t index = request.value("endpoint");
        return index >= 0 && static_cast<uint64_t>(index) < endpoints.size() ? &endpoints[index]
                                                                             : nullptr;
    };
    // A counter of the endpoint a request names, as the request's result.
    auto report = [&decoder, endpoint](const char* method, auto Endpoint::*field) {
        decoder.on(method, [endpoint, field](const DecodedRequest& request, Reply& reply) {
            Endpoint* e = endpoint(request);
            if (e == nullptr) return EINVAL;
            reply.set("return", static_cast<uint64_t>(e->*field));
            return 0;
        });
    };
    report("p2p.getEndpointSize", &Endpoint::size);
    report("p2p.getMostSamplesInSource", &Endpoint::mostSamplesInSource);
    report("p2p.getHasOverflowed", &Endpoint::hasOverflowed);
    report("p2p.getSamplesTransferred", &Endpoint::samplesTransferred);
    report("p2p.getSamplesInEndpoint", &Endpoint::samplesInEndpoint);
    report("p2p.getSpaceAvailableInSink", &Endpoint::spaceAvailable);
    report("p2p.getMostSpaceAvailableInSink", &Endpoint::mostSpaceAvailable);
    report("p2p.getSampleQuantum", &Endpoint::sampleQuantum);

    decoder.on("p2p.setEnabled", [endpoint](const DecodedRequest& request, Reply&) {
        Endpoint* e = endpoint(request);
        if (e == nullptr) return EINVAL;
        e->enabled = request.value("enable") != 0;
        e->enabledDirection = static_cast<uint32_t>(request.value("direction"));
        return 0;
    });
    decoder.on("p2p.setNumberOfSamplesToRead", [endpoint](const DecodedRequest& request, Reply&) {
        Endpoint* e = endpoint(request);
        if (e == nullptr) return EINVAL;
        e->samplesToRead = static_cast<uint64_t>(request.value("count"));
        return 0;
    });
    decoder.on("p2p.programEndpointFullnessTrigger",
               [endpoint](const DecodedRequest& request, Reply&) {
                   Endpoint* e = endpoint(request);
                   if (e == nullptr) return EINVAL;
                   e->fullnessTrigger = static_cast<uint64_t>(request.value("value"));
                   return 0;
               });
    decoder.on("p2p.setOnboardMemoryEnabled", [this](const DecodedRequest& request, Reply&) {
        onboardMemoryEnabled = request.value("enable") != 0;
        return 0;
    });
    decoder.on("p2p.setNumberOfSamplesToWrite", [this](const DecodedRequest& request, Reply&) {
        samplesToWrite = static_cast<uint64_t>(request.value("count"));
        return 0;
    });
    auto runState = [&decoder](const char* method, bool& state, bool running) {
        decoder.on(method, [&state, running](const DecodedRequest&, Reply&) {
            state = running;
            return 0;
        });
    };
    runState("p2p.initiateSource", sourceRunning, true);
    runState("p2p.abortSource", sourceRunning, false);
    runState("p2p.initiateSink", sinkRunning, true);
    runState("p2p.abortSink", sinkRunning, false);
    decoder.on("p2p.checkAcquisitionStatus", [this](const DecodedRequest&, Reply& reply) {
        reply.set("return", sourceRunning ? 1 : 0);
        return 0;
    });
    decoder.on("p2p.checkGenerationStatus", [this](const DecodedRequest& request, Reply& reply) {
        sentSecondFlag = static_cast<uint8_t>(request.value("secondFlag"));
        reply.set("return", sinkRunning ? 1 : 0);
        reply.set("secondFlag", generationSecondFlag ? 1 : 0);
        return 0;
    });
}

}  // namespace qvsim
