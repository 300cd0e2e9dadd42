#include "atomiczekddk/shared/RegisterSequenceDetector.h"

namespace qvzek {

namespace {
constexpr uint32_t kPollOffset = 82;
}  // namespace

template <typename Transition>
void RegisterSequenceDetector::advance(Transition transition) {
    if (state_.load(std::memory_order_acquire) == kComplete) return;
    sdihal::nQVAPAL000::tMutexLock lock(mutex_);
    const uint32_t state = state_.load(std::memory_order_relaxed);
    if (state == kComplete) return;
    state_.store(transition(state), std::memory_order_release);
}

void RegisterSequenceDetector::onCommand(int32_t code) {
    advance([code](uint32_t state) -> uint32_t {
        switch (state) {
            case 0:
                return code == 6 ? 1 : 0;
            case 1:
                return (code == 4 || code == 6) ? 1 : 0;
            case 2:
                return code == 1 ? 3 : (code == 6 ? 2 : 0);
            case 3:
                return code == 1 ? 3 : 0;
            default:
                return 0;
        }
    });
}

void RegisterSequenceDetector::onWrite(uint32_t offset, uint32_t value) {
    advance([offset, value](uint32_t state) -> uint32_t {
        if (state == 0) return 0;
        return (state == 1 && offset == 23 && value == 2) ? 2 : 0;
    });
}

void RegisterSequenceDetector::onRead(uint32_t offset) {
    advance([offset](uint32_t state) -> uint32_t {
        if (state == 0) return 0;
        if (offset == kPollOffset) return state;
        if (state == 3 && offset == 58) return 4;
        if (state == 4 && offset == 48) return kComplete;
        return 0;
    });
}

}  // namespace qvzek
