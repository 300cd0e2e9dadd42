#include "qvhtl/detail/storage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qvhtl::detail {

bool pointsInto(const void* first, const void* begin, uint64_t size) {
    if (begin == nullptr || first == nullptr) return false;
    auto p = reinterpret_cast<uintptr_t>(first);
    auto b = reinterpret_cast<uintptr_t>(begin);
    return p >= b && p - b < size;
}

GrowResult insertElements(void*& data, uint64_t& capacity, uint64_t& size, size_t elementSize,
                          uint64_t position, const void* source, uint64_t count, const void* fill,
                          uint64_t minimumCapacity) {
    if (count == 0) return GrowResult::kOk;
    const uint64_t maxElements = SIZE_MAX / elementSize;
    if (count > maxElements - size) return GrowResult::kSizeOverflow;
    const uint64_t needed = size + count;
    position = std::min(position, size);
    auto* bytes = static_cast<unsigned char*>(data);
    const uint64_t tailBytes = (size - position) * elementSize;

    auto writeRange = [&](unsigned char* target, const unsigned char* from) {
        if (from != nullptr) {
            std::memcpy(target, from, count * elementSize);
        } else {
            for (uint64_t i = 0; i < count; ++i) {
                std::memcpy(target + i * elementSize, fill, elementSize);
            }
        }
    };

    if (needed > capacity) {
        uint64_t grown = capacity + capacity / 2;
        if (grown > maxElements || grown < capacity) grown = maxElements;
        const uint64_t newCapacity = std::max({minimumCapacity, grown, needed});
        auto* fresh = static_cast<unsigned char*>(std::malloc(newCapacity * elementSize));
        if (fresh == nullptr) return GrowResult::kAllocationFailed;
        // The old array stays alive until the range is copied: the range may
        // lie inside it.
        if (position > 0) std::memcpy(fresh, bytes, position * elementSize);
        writeRange(fresh + position * elementSize, static_cast<const unsigned char*>(source));
        if (tailBytes > 0) {
            std::memcpy(fresh + (position + count) * elementSize, bytes + position * elementSize,
                        tailBytes);
        }
        std::free(data);
        data = fresh;
        capacity = newCapacity;
        size = needed;
        return GrowResult::kOk;
    }

    const auto* from = static_cast<const unsigned char*>(source);
    unsigned char* gap = bytes + position * elementSize;
    if (from != nullptr && pointsInto(from, bytes, size * elementSize)) {
        // A range from the array itself: the part at or after the insertion
        // point moves with the tail.
        const uint64_t first = (from - bytes) / elementSize;
        const uint64_t last = first + count;
        std::memmove(gap + count * elementSize, gap, tailBytes);
        uint64_t done = 0;
        if (first < position) {
            done = std::min(last, position) - first;
            std::memcpy(gap, bytes + first * elementSize, done * elementSize);
        }
        if (done < count) {
            const uint64_t moved = std::max(first, position) + count;
            std::memcpy(gap + done * elementSize, bytes + moved * elementSize,
                        (count - done) * elementSize);
        }
    } else {
        if (tailBytes > 0) std::memmove(gap + count * elementSize, gap, tailBytes);
        writeRange(gap, from);
    }
    size = needed;
    return GrowResult::kOk;
}

void eraseChars(char* data, uint64_t& size, uint64_t position, uint64_t n) {
    if (data == nullptr || position >= size) return;
    n = std::min(n, size - position);
    std::memmove(data + position, data + position + n, size - position - n);
    size -= n;
    data[size] = '\0';
}

}  // namespace qvhtl::detail
