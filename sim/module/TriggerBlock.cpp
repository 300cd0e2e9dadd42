#include "module/TriggerBlock.h"

namespace qvsim {

TriggerBlock::TriggerBlock(RequestDecoder& decoder) {
    auto format = [this, &decoder](const char* method, sdihal::tFixedPointFormat TriggerBlock::*field) {
        decoder.on(method, [this, field](const DecodedRequest&, Reply& reply) {
            reply.setAs("format", this->*field);
            return 0;
        });
    };
    format("trig.readRFBlankingMarkerOffsetFormat", &TriggerBlock::blankingMarkerOffsetFormat);
    format("trig.readRFUnblankingMarkerOffsetFormat", &TriggerBlock::unblankingMarkerOffsetFormat);
    format("trig.readExportPulseWidthFormat", &TriggerBlock::exportPulseWidthFormat);
    decoder.on("trig.readHoldoffClockInfo", [this](const DecodedRequest&, Reply& reply) {
        reply.set("revision", holdoffRevision);
        return 0;
    });
}

}  // namespace qvsim
