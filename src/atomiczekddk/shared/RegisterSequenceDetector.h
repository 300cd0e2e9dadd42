// Recognises one sequence of commands and register accesses of a
// traditional FPGA session: command 6, write (23, 2), command 1, read 58,
// read 48. Reads of offset 82 and repeated commands may come between the
// steps; anything else starts over. Once complete it stays complete.
#pragma once

#include <atomic>
#include <cstdint>

#include "qvapal/quarks/synchronization.h"

namespace qvzek {

class RegisterSequenceDetector {
public:
    void onRead(uint32_t offset);
    void onWrite(uint32_t offset, uint32_t value);
    void onCommand(int32_t code);
    bool isComplete() const { return state_.load(std::memory_order_acquire) == kComplete; }

private:
    static constexpr uint32_t kComplete = 5;
    template <typename Transition>
    void advance(Transition transition);

    std::atomic<uint32_t> state_{0};
    sdihal::nQVAPAL000::tMutex mutex_;
};

}  // namespace qvzek
