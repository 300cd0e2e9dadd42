// Records that the kernel-driver requests carry as opaque bytes: the calling
// session lays them out; the proxy copies them whole into or out of a block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "FixedPoint/FixedPoint.h"

namespace sdihal {

template <std::size_t N>
struct tRecord {
    // Aligned like the widest field a record of this size can start with.
    alignas(N % 8 == 0 ? 8 : N % 4 == 0 ? 4 : N % 2 == 0 ? 2 : 1) uint8_t bytes[N] = {};

    template <class T>
    static tRecord from(const T& value) {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= N);
        tRecord record;
        std::memcpy(record.bytes, &value, sizeof value);
        return record;
    }

    template <class T>
    T as() const {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= N);
        T value{};
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
};

}  // namespace sdihal
