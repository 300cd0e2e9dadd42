// How arrays of narrow elements (1-bit Bool, 8- and 16-bit integers) travel
// through 32-bit registers: packed most significant position first. An
// array that fits one word sits at the word's low-order end (element 0 in
// the highest used position) and moves with one read32/write32; a longer
// array moves as one block of ceil(count x width / 32) words, every word
// filled from bit 31 down, the last word's elements in its top positions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/IIoAccessor.h"
#include "qverr/Status.h"

namespace qvzek::registerpacking {

// Up to this many words pack on the stack; larger arrays pack on the heap,
// so a caller's count never sizes a stack buffer.
inline constexpr size_t kStackWords = 64;

// The words a block transfer of count elements of `width` bits takes. The
// driver's byte count is 32 bits: a longer transfer is refused (-52005)
// rather than cut short.
inline uint32_t blockWords(size_t count, uint32_t width) {
    const uint64_t words = (static_cast<uint64_t>(count) * width + 31) / 32;
    if (count > 0xFFFFFFFFull || words > 0xFFFFFFFFull / 4) throwStatusCode(qverr::qvapalerr_invalidParameter);
    return static_cast<uint32_t>(words);
}

class WordBuffer {
public:
    explicit WordBuffer(uint32_t words) {
        if (words > kStackWords) heap_.reset(new uint32_t[words]);
        data_ = heap_ ? heap_.get() : stack_.data();
    }
    uint32_t* data() { return data_; }

private:
    std::array<uint32_t, kStackWords> stack_{};
    std::unique_ptr<uint32_t[]> heap_;
    uint32_t* data_;
};

template <class T>
uint32_t elementBits(T value, uint32_t width) {
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    return static_cast<uint32_t>(value) & mask;
}

template <class T>
T bitsElement(uint32_t bits, uint32_t width) {
    if (width == 1) return static_cast<T>(bits & 1);
    if (width == 8) return static_cast<T>(static_cast<uint8_t>(bits));
    return static_cast<T>(static_cast<uint16_t>(bits));
}

// T is uint8_t for Bool (width 1) and the element's own type otherwise.
template <class T>
void readArray(user::IIoAccessor& io, uint32_t offset, T* data, size_t count, uint32_t width) {
    const uint32_t perWord = 32 / width;
    const uint32_t mask = width == 16 ? 0xFFFF : (width == 8 ? 0xFF : 1);
    if (count <= perWord) {
        const uint32_t word = io.read32(offset);
        for (size_t i = 0; i < count; ++i) {
            data[i] = bitsElement<T>(word >> ((count - 1 - i) * width) & mask, width);
        }
        return;
    }
    const uint32_t words = blockWords(count, width);
    WordBuffer buffer(words);
    io.readBlock(offset, reinterpret_cast<uintptr_t>(buffer.data()), words * 4, 4, 0);
    const uint32_t* word = buffer.data();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t shift = 32 - (static_cast<uint32_t>(i % perWord) + 1) * width;
        data[i] = bitsElement<T>(word[i / perWord] >> shift & mask, width);
    }
}

template <class T>
void writeArray(user::IIoAccessor& io, uint32_t offset, const T* data, size_t count, uint32_t width) {
    const uint32_t perWord = 32 / width;
    if (count <= perWord) {
        uint32_t word = 0;
        for (size_t i = 0; i < count; ++i) word |= elementBits(data[i], width) << ((count - 1 - i) * width);
        io.write32(offset, word);
        return;
    }
    const uint32_t words = blockWords(count, width);
    WordBuffer buffer(words);
    uint32_t* word = buffer.data();
    for (uint32_t w = 0; w < words; ++w) word[w] = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t shift = 32 - (static_cast<uint32_t>(i % perWord) + 1) * width;
        word[i / perWord] |= elementBits(data[i], width) << shift;
    }
    io.writeBlock(offset, reinterpret_cast<uintptr_t>(buffer.data()), words * 4, 4, 0);
}

}  // namespace qvzek::registerpacking
