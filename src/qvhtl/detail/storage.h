// Growth and insertion shared by the status-carrying containers: the
// containers differ in how they report a failure, not in how they grow.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvhtl::detail {

enum class GrowResult { kOk, kSizeOverflow, kAllocationFailed };

// Inserts `count` elements of `elementSize` bytes at `position` (clamped to
// the size) of a malloc'd array. The elements are copied from `source`, which
// may point into the array itself, or are copies of the one element at
// `fill` when `source` is null. A full array grows to the largest of
// `minimumCapacity`, 1.5 x its capacity and the size needed. On failure the
// array is left as it was.
GrowResult insertElements(void*& data, uint64_t& capacity, uint64_t& size, size_t elementSize,
                          uint64_t position, const void* source, uint64_t count, const void* fill,
                          uint64_t minimumCapacity);

// Removes min(n, size - position) characters at `position` and keeps the
// terminating NUL; nothing when position is at or past the end.
void eraseChars(char* data, uint64_t& size, uint64_t position, uint64_t n);

// True when `first` points inside the `size` bytes at `begin`.
bool pointsInto(const void* first, const void* begin, uint64_t size);

}  // namespace qvhtl::detail
