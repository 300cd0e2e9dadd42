#include "qvapal/quarks/clock.h"

#include <time.h>

#include <mutex>

namespace atut::poller {
namespace {

std::once_flag clockOnce;
Poller::ClockSettings settings{};

}  // namespace

uint64_t Poller::nowNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void Poller::initializeClock() {
    std::call_once(clockOnce, [] { settings = ClockSettings{{1, 0}, {1, 1000}, true}; });
}

Poller::ClockSettings Poller::clockSettings() {
    // Readers see either nothing or the whole set: call_once publishes it.
    initializeClock();
    return settings;
}

}  // namespace atut::poller
