// The module's FPGA timer: present or not in the loaded image.
#pragma once

#include "module/Replies.h"

namespace qvsim {

struct TimerBlock {
    explicit TimerBlock(GuardedDecoder& decoder);

    bool present = true;
};

}  // namespace qvsim
