// The FPGA session's typed register reads and writes of one element or an
// array: 32-bit types go as they are, 64-bit types travel high word first on
// the bus (the two halves of each element are exchanged), and a checked
// access reads the FPGA's status register afterwards.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/user/IIoAccessor.h"
#include "qverr/Codes.h"

namespace qvzek {

// Status register bit 4: set after a checked access, kErrorFpgaStatusFault.
inline constexpr uint32_t kStatusFaultBit = 0x10;

struct RegisterBlockAccessor {
    std::shared_ptr<user::IIoAccessor> accessor;
    uint32_t statusRegister = 0;

    template <typename T>
    T read(uint32_t offset, bool check) const {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8);
        T value{};
        if constexpr (sizeof(T) == 4) {
            value = std::bit_cast<T>(accessor->read32(offset));
            checkStatus(check);
        } else {
            readArray(offset, &value, 1, check);
        }
        return value;
    }

    template <typename T>
    void write(uint32_t offset, T value, bool check) const {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8);
        if constexpr (sizeof(T) == 4) {
            accessor->write32(offset, std::bit_cast<uint32_t>(value));
            checkStatus(check);
        } else {
            writeArray(offset, &value, 1, check);
        }
    }

    template <typename T>
    void readArray(uint32_t offset, T* array, size_t count, bool check) const {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8);
        accessor->readBlock(offset, reinterpret_cast<uintptr_t>(array), byteCount(count, sizeof(T)),
                            4, 0);
        if constexpr (sizeof(T) == 8) {
            for (size_t i = 0; i < count; ++i) array[i] = swapHalves(array[i]);
        }
        checkStatus(check);
    }

    template <typename T>
    void writeArray(uint32_t offset, const T* array, size_t count, bool check) const {
        static_assert(sizeof(T) == 4 || sizeof(T) == 8);
        const uint32_t bytes = byteCount(count, sizeof(T));
        if constexpr (sizeof(T) == 8) {
            std::vector<T> swapped(array, array + count);
            for (T& element : swapped) element = swapHalves(element);
            accessor->writeBlock(offset, reinterpret_cast<uintptr_t>(swapped.data()), bytes, 4, 0);
        } else {
            accessor->writeBlock(offset, reinterpret_cast<uintptr_t>(array), bytes, 4, 0);
        }
        checkStatus(check);
    }

    // With `check`: reads the status register and throws -61046 when its
    // fault bit is set.
    void checkStatus(bool check) const {
        if (check && (accessor->read32(statusRegister) & kStatusFaultBit) != 0) {
            throwStatusCode(kErrorFpgaStatusFault);
        }
    }

private:
    // The driver takes a 32-bit byte count: a longer array is refused (-52005).
    static uint32_t byteCount(size_t count, size_t size) {
        if (count > std::numeric_limits<uint32_t>::max() / size)
            throwStatusCode(qverr::qvapalerr_invalidParameter);
        return static_cast<uint32_t>(count * size);
    }

    template <typename T>
    static T swapHalves(T value) {
        const uint64_t bits = std::bit_cast<uint64_t>(value);
        return std::bit_cast<T>((bits << 32) | (bits >> 32));
    }
};

}  // namespace qvzek
