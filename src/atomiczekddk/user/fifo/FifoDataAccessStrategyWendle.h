// FIFO data access through the bus-interface chip: running positions over a
// ring of depth elements, zero-copy acquire and release, plain copies, and
// the device asked only when the cached count does not cover a request.
#pragma once

#include <cstdint>

#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/fifo/IFifoAcquirerReleaser.h"
#include "atomiczekddk/user/fifo/IFifoDataAccessStrategy.h"
#include "qverr/Status.h"

namespace qvzek {

inline constexpr int32_t kErrorFifoNotConfigured = qverr::qvapalerr_resourceNotInitialized;

class FifoDataAccessStrategyWendle : public IFifoDataAccessStrategy {
public:
    FifoDataAccessStrategyWendle(IFifoAcquirerReleaser& acquirerReleaser, uint64_t elementSize)
        : acquirerReleaser_(acquirerReleaser), elementSize_(elementSize) {}

    void configure(void* base, uint64_t depth, uint64_t overhangElements) override;
    uint64_t getElementsAcquired() const override { return acquired_; }
    // On an unconfigured ring (depth 0) these fail with -52010.
    void read(void* destination, uint64_t count, uint32_t timeout, bool* timedOut,
              uint64_t* remaining, nQVAPALS100::tStatus& status) override;
    void write(const void* source, uint64_t count, uint32_t timeout, bool* timedOut,
               uint64_t* remaining, nQVAPALS100::tStatus& status) override;
    void acquire(void** address, uint64_t count, uint32_t timeout, bool* timedOut,
                 uint64_t* acquiredCount, uint64_t* remaining,
                 nQVAPALS100::tStatus& status) override;
    void release(uint64_t count, nQVAPALS100::tStatus& status) override;

    uint64_t position() const { return position_; }

private:
    // position modulo depth, kept as the position moves: no division on the
    // data path.
    uint64_t index() const { return index_; }
    void advance(uint64_t count) {
        position_ += count;
        index_ += count;
        if (index_ >= depth_)
            index_ = index_ - depth_ < depth_ ? index_ - depth_ : position_ % depth_;
    }
    uint8_t* current() const { return base_ + index() * elementSize_; }
    uint64_t contiguous() const { return overhangElements_ + depth_ - index(); }
    bool unconfigured(nQVAPALS100::tStatus& status) const;
    uint64_t waitForElements(uint64_t count, bool allowPartial, uint32_t timeout, bool* timedOut,
                             uint64_t* remaining, nQVAPALS100::tStatus& status);
    void transfer(uint8_t* caller, uint64_t count, bool intoRing, uint32_t timeout, bool* timedOut,
                  uint64_t* remaining, nQVAPALS100::tStatus& status);

    IFifoAcquirerReleaser& acquirerReleaser_;
    uint64_t elementSize_;
    uint8_t* base_ = nullptr;
    uint64_t depth_ = 0;
    uint64_t overhangElements_ = 0;
    uint64_t acquired_ = 0;
    uint64_t position_ = 0;
    uint64_t index_ = 0;
    uint64_t available_ = 0;
};

}  // namespace qvzek
