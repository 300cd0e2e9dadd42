#include "module/DataPathBlock.h"

#include <cerrno>
#include <cstring>

#include "module/Replies.h"

namespace qvsim {

DataPathBlock::DataPathBlock(GuardedDecoder& decoder) {
    // The path a request names; EINVAL (a failed ioctl) for one the module
    // does not have.
    auto path = [this](const DecodedRequest& request) -> Path* {
        const int64_t index = request.value("index");
        return index >= 0 && index < 2 ? &paths[index] : nullptr;
    };
    answerWith(decoder, "datapath.getMarkerDelayFormat", "format", markerDelayFormat);
    answerWith(decoder, "datapath.getPreRouteTriggerDelayFormat", "format",
               preRouteTriggerDelayFormat);
    answerWith(decoder, "datapath.getPostRouteEventDelayFormat", "format",
               postRouteEventDelayFormat);
    answerWith(decoder, "datapath.getTriggerTimestampOffsetFormat", "format",
               triggerTimestampOffsetFormat);
    decoder.on("datapath.getTriggerTimestampInfo", [this](const DecodedRequest&, Reply& reply) {
        reply.set("mode", triggerTimestampMode);
        reply.setAs("format", timestampFractionFormat);
        return 0;
    });
    decoder.on("datapath.getAnalogFrontEndDelayFormat",
               [path](const DecodedRequest& request, Reply& reply) {
                   Path* p = path(request);
                   if (p == nullptr) return EINVAL;
                   reply.setAs("format", p->analogFrontEndDelayFormat);
                   return 0;
               });
    auto value = [&decoder, path](const char* method, sdihal::tFixedPointValue Path::*field) {
        decoder.on(method, [path, field](const DecodedRequest& request, Reply& reply) {
            Path* p = path(request);
            if (p == nullptr) return EINVAL;
            reply.setAs("delay", p->*field);
            return 0;
        });
    };
    value("datapath.readDSPGroupDelay", &Path::groupDelay);
    value("datapath.getPFI0FpgaDelay", &Path::pfi0Delay);
    value("datapath.getRoutingDelay", &Path::routingDelay);
    decoder.on("datapath.readDSPPipelineDelay",
               [path](const DecodedRequest& request, Reply& reply) {
                   Path* p = path(request);
                   if (p == nullptr) return EINVAL;
                   reply.set("delay", p->pipelineDelay);
                   return 0;
               });
    decoder.on("datapath.readDataDelayRange", [path](const DecodedRequest& request, Reply& reply) {
        Path* p = path(request);
        if (p == nullptr) return EINVAL;
        reply.set("minimum", p->minimumDataDelay);
        reply.set("maximum", p->maximumDataDelay);
        return 0;
    });
    decoder.on("datapath.checkStatus", [path](const DecodedRequest& request, Reply& reply) {
        Path* p = path(request);
        if (p == nullptr) return EINVAL;
        auto record = reply.bytes("record");
        for (size_t i = 0; i < p->statusFlags.size(); ++i) record[i] = p->statusFlags[i];
        std::memcpy(record.data() + 8, p->statusContext, sizeof p->statusContext);
        p->statusFlags.fill(0);
        return 0;
    });
    decoder.on("datapath.clearStatus", [path](const DecodedRequest& request, Reply&) {
        Path* p = path(request);
        if (p == nullptr) return EINVAL;
        const auto flags = request.in("flags");
        for (size_t i = 0; i < 5; ++i) {
            if (flags[i] != 0) p->statusFlags[i] = 0;
        }
        return 0;
    });
    decoder.on("datapath.isDone", [path](const DecodedRequest& request, Reply& reply) {
        Path* p = path(request);
        if (p == nullptr) return EINVAL;
        const bool done = p->readsUntilIdle >= 0 && p->doneReads >= p->readsUntilIdle;
        ++p->doneReads;
        reply.set("done", done ? 1 : 0);
        return 0;
    });
}

}  // namespace qvsim
