#include "module/TriggerBlock.h"

#include "module/Replies.h"

namespace qvsim {

TriggerBlock::TriggerBlock(GuardedDecoder& decoder) {
    answerWith(decoder, "trig.readRFBlankingMarkerOffsetFormat", "format",
               blankingMarkerOffsetFormat);
    answerWith(decoder, "trig.readRFUnblankingMarkerOffsetFormat", "format",
               unblankingMarkerOffsetFormat);
    answerWith(decoder, "trig.readExportPulseWidthFormat", "format", exportPulseWidthFormat);
    answerWith(decoder, "trig.readHoldoffClockInfo", "revision", holdoffRevision);
}

}  // namespace qvsim
