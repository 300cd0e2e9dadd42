#include "module/TimerBlock.h"

namespace qvsim {

TimerBlock::TimerBlock(RequestDecoder& decoder) {
    decoder.on("timer.readTimerResourcePresence", [this](const DecodedRequest&, Reply& reply) {
        reply.set("present", present ? 1 : 0);
        return 0;
    });
}

}  // namespace qvsim
