// The module's FPGA timer: present or not in the loaded image.
#pragma once

#include "requests/RequestDecoder.h"

namespace qvsim {

struct TimerBlock {
    explicit TimerBlock(RequestDecoder& decoder);

    bool present = true;
};

}  // namespace qvsim
