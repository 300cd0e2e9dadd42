#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"

#include <cstring>

#include "qvapal/quarks/raise.h"

namespace qvzek {
namespace {

// No site of this source is fixed: its own lines are reported.
constexpr const char* kSource = "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle";

}  // namespace

void FifoDataAccessStrategyWendle::configure(void* base, uint64_t depth,
                                             uint64_t overhangElements) {
    base_ = static_cast<uint8_t*>(base);
    depth_ = depth;
    overhangElements_ = overhangElements;
    acquired_ = 0;
    position_ = 0;
    index_ = 0;
    available_ = 0;
}

bool FifoDataAccessStrategyWendle::unconfigured(nQVAPALS100::tStatus& status) const {
    // Checked before any index arithmetic: a reset FIFO has depth 0.
    if (depth_ != 0 && elementSize_ != 0) return false;
    QVAPAL_RAISE(status, kErrorFifoNotConfigured, kSource, __LINE__);
    return true;
}

uint64_t FifoDataAccessStrategyWendle::waitForElements(uint64_t count, bool allowPartial,
                                                       uint32_t timeout, bool* timedOut,
                                                       uint64_t* remaining,
                                                       nQVAPALS100::tStatus& status) {
    if (status.isError()) return 0;
    *timedOut = false;
    uint64_t n = count;
    if (allowPartial && contiguous() <= count) n = contiguous();
    if (position_ + n <= available_ && remaining == nullptr) return n;
    const uint64_t bytes = acquirerReleaser_.waitForBytes((position_ + n) * elementSize_, timeout,
                                                          timedOut, status, remaining);
    if (status.isError()) return 0;
    available_ = bytes / elementSize_;
    if (remaining != nullptr) *remaining = available_ > position_ ? available_ - position_ : 0;
    // An answer short of the request without a time-out would hand out
    // elements the device has not made available: it counts as a time-out.
    if (available_ < position_ + n) *timedOut = true;
    return *timedOut ? 0 : n;
}

void FifoDataAccessStrategyWendle::acquire(void** address, uint64_t count, uint32_t timeout,
                                           bool* timedOut, uint64_t* acquiredCount,
                                           uint64_t* remaining, nQVAPALS100::tStatus& status) {
    void* ignoredAddress;
    bool ignoredTimedOut;
    uint64_t ignoredCount;
    if (address == nullptr) address = &ignoredAddress;
    if (timedOut == nullptr) timedOut = &ignoredTimedOut;
    if (acquiredCount == nullptr) acquiredCount = &ignoredCount;
    *address = nullptr;
    *timedOut = false;
    *acquiredCount = 0;
    if (remaining != nullptr) *remaining = 0;
    if (status.isError() || unconfigured(status)) return;
    if (count > depth_) {
        QVAPAL_RAISE(status, kErrorFifoCountTooLarge, kSource, __LINE__);
    } else if (count + acquired_ > depth_) {
        QVAPAL_RAISE(status, kErrorFifoAcquireBeyondDepth, kSource, __LINE__);
    }
    const uint64_t n = waitForElements(count, true, timeout, timedOut, remaining, status);
    if (*timedOut || count == 0 || status.isError()) return;
    *address = current();
    *acquiredCount = n;
    acquired_ += n;
    advance(n);
    if (remaining != nullptr) *remaining -= n;
}

void FifoDataAccessStrategyWendle::transfer(uint8_t* caller, uint64_t count, bool intoRing,
                                            uint32_t timeout, bool* timedOut, uint64_t* remaining,
                                            nQVAPALS100::tStatus& status) {
    bool ignoredTimedOut;
    if (timedOut == nullptr) timedOut = &ignoredTimedOut;
    *timedOut = false;
    if (remaining != nullptr) *remaining = 0;
    if (status.isError() || unconfigured(status)) return;
    if (acquired_ != 0) {
        QVAPAL_RAISE(status, kErrorFifoElementsAcquired, kSource, __LINE__);
    } else if (count > depth_) {
        QVAPAL_RAISE(status, kErrorFifoCountTooLarge, kSource, __LINE__);
    }
    waitForElements(count, false, timeout, timedOut, remaining, status);
    if (status.isError() || count == 0 || *timedOut) return;
    for (uint64_t left = count; left != 0;) {
        const uint64_t chunk = contiguous() <= left ? contiguous() : left;
        const size_t bytes = chunk * elementSize_;
        if (intoRing) {
            std::memcpy(current(), caller, bytes);
        } else {
            std::memcpy(caller, current(), bytes);
        }
        caller += bytes;
        advance(chunk);
        left -= chunk;
    }
    if (remaining != nullptr) *remaining -= count;
    acquired_ += count;
    release(count, status);
}

void FifoDataAccessStrategyWendle::read(void* destination, uint64_t count, uint32_t timeout,
                                        bool* timedOut, uint64_t* remaining,
                                        nQVAPALS100::tStatus& status) {
    transfer(static_cast<uint8_t*>(destination), count, false, timeout, timedOut, remaining,
             status);
}

void FifoDataAccessStrategyWendle::write(const void* source, uint64_t count, uint32_t timeout,
                                         bool* timedOut, uint64_t* remaining,
                                         nQVAPALS100::tStatus& status) {
    // The ring is only read from the source; the pointer is shared with read.
    transfer(static_cast<uint8_t*>(const_cast<void*>(source)), count, true, timeout, timedOut,
             remaining, status);
}

void FifoDataAccessStrategyWendle::release(uint64_t count, nQVAPALS100::tStatus& status) {
    if (count == 0 || status.isError()) return;
    if (count > acquired_) {
        QVAPAL_RAISE(status, kErrorFifoCountTooLarge, kSource, __LINE__);
        return;
    }
    acquirerReleaser_.releaseBytes(count * elementSize_, status);
    if (!status.isError()) acquired_ -= count;
}

}  // namespace qvzek
