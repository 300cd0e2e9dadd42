// The monotonic clock of the engines' timed polls.
#pragma once

#include <cstdint>

namespace atut::poller {

class Poller {
public:
    struct ClockScale {
        uint64_t first;
        uint64_t second;
    };
    struct ClockSettings {
        ClockScale coarse;
        ClockScale fine;
        bool initialised;
    };

    // CLOCK_MONOTONIC as seconds x 1000000000 + nanoseconds.
    static uint64_t nowNanoseconds();
    // Sets the clock constants once per process; later calls do nothing.
    static void initializeClock();
    // The constants, set up first when needed.
    static ClockSettings clockSettings();
};

}  // namespace atut::poller
