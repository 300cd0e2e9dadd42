// The platform layer's vector of owned arrays (such as a list of copied
// names): it grows by doubling, reports a failed growth through
// allocationFailed, and deletes its elements with delete[] when cleared.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "qvapal/status/tStatus.h"

namespace sdihal::nQVAPAL000 {

template <typename T>
class tPointerVector {
public:
    static constexpr uint64_t kMaxSize = (uint64_t{1} << 61) - 1;

    tPointerVector() = default;
    tPointerVector(const tPointerVector&) = delete;
    tPointerVector& operator=(const tPointerVector&) = delete;
    ~tPointerVector() {
        clear();
        std::free(data_);
    }

    // Inserts n null slots at `position` (clamped to the size); false, with
    // allocationFailed set, when the vector cannot grow.
    bool insertNull(uint64_t position, uint64_t n) {
        if (n == 0) return true;
        if (n > kMaxSize - size_) {
            allocationFailed_ = true;
            return false;
        }
        const uint64_t needed = size_ + n;
        if (needed > capacity_) {
            const uint64_t doubled = capacity_ == 0 ? 1 : std::min(capacity_ * 2, kMaxSize);
            const uint64_t newCapacity = std::max(doubled, needed);
            // No allocation can exceed the largest object size.
            if (newCapacity > uint64_t(PTRDIFF_MAX) / sizeof(T*)) {
                allocationFailed_ = true;
                return false;
            }
            auto** fresh = static_cast<T**>(std::realloc(data_, newCapacity * sizeof(T*)));
            if (fresh == nullptr) {
                allocationFailed_ = true;
                return false;
            }
            data_ = fresh;
            capacity_ = newCapacity;
        }
        position = std::min(position, size_);
        std::memmove(data_ + position + n, data_ + position, (size_ - position) * sizeof(T*));
        std::fill_n(data_ + position, n, nullptr);
        size_ = needed;
        return true;
    }

    // insertNull that also raises -52000 into the status; nothing when the
    // status already holds an error.
    bool insertNull(uint64_t position, uint64_t n, nQVAPALS100::tStatus& status) {
        if (status.isError()) return false;
        if (insertNull(position, n)) return true;
        status.setCode(nQVAPALS100::tStatus::kMemoryFull, nQVAPALS100::kPlatformComponent,
                       "qvapal/protons/containers/tVector", 819);
        return false;
    }

    // Deletes every element and empties the list.
    void clear() {
        for (uint64_t i = 0; i < size_; ++i) delete[] data_[i];
        size_ = 0;
    }

    T*& operator[](uint64_t i) { return data_[i]; }
    T* operator[](uint64_t i) const { return data_[i]; }
    T** begin() { return data_; }
    T** end() { return data_ + size_; }
    uint64_t size() const { return size_; }
    uint64_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    bool allocationFailed() const { return allocationFailed_; }

private:
    uint64_t capacity_ = 0;
    uint64_t size_ = 0;
    T** data_ = nullptr;
    bool allocationFailed_ = false;
};

}  // namespace sdihal::nQVAPAL000
