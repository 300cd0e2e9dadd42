#include "module/TimerBlock.h"

#include "module/Replies.h"

namespace qvsim {

TimerBlock::TimerBlock(GuardedDecoder& decoder) {
    answerWith(decoder, "timer.readTimerResourcePresence", "present", present);
}

}  // namespace qvsim
