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
#include <cstring>
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
    if (count > 0xFFFFFFFFull || words > 0xFFFFFFFFull / 4)
        throwStatusCode(qverr::qvapalerr_invalidParameter);
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

template <uint32_t Width, class T>
uint32_t elementBits(T value) {
    return static_cast<uint32_t>(value) & ((1u << Width) - 1);
}

template <uint32_t Width, class T>
T bitsElement(uint32_t bits) {
    if constexpr (Width == 1)
        return static_cast<T>(bits & 1);
    else if constexpr (Width == 8)
        return static_cast<T>(static_cast<uint8_t>(bits));
    else
        return static_cast<T>(static_cast<uint16_t>(bits));
}

// A full word as it sits in memory with its elements in order: bytes and
// half-words are reversed from the word's most significant end.
template <uint32_t Width>
uint32_t wordInElementOrder(uint32_t word) {
    if constexpr (Width == 8)
        return __builtin_bswap32(word);
    else
        return (word >> 16) | (word << 16);
}

// T is uint8_t for Bool (Width 1) and the element's own type otherwise.
template <uint32_t Width, class T>
void readArray(user::IIoAccessor& io, uint32_t offset, T* data, size_t count) {
    static_assert(Width == 1 || Width == 8 || Width == 16);
    constexpr uint32_t perWord = 32 / Width;
    if (count <= perWord) {
        const uint32_t word = io.read32(offset);
        for (size_t i = 0; i < count; ++i) {
            data[i] = bitsElement<Width, T>(word >> ((count - 1 - i) * Width));
        }
        return;
    }
    const uint32_t words = blockWords(count, Width);
    WordBuffer buffer(words);
    io.readBlock(offset, reinterpret_cast<uintptr_t>(buffer.data()), words * 4, 4, 0);
    const uint32_t* word = buffer.data();
    const size_t full = count / perWord;
    for (size_t w = 0; w < full; ++w) {
        if constexpr (Width == 1) {
            for (uint32_t k = 0; k < perWord; ++k)
                data[w * perWord + k] = bitsElement<1, T>(word[w] >> (31 - k));
        } else {
            const uint32_t ordered = wordInElementOrder<Width>(word[w]);
            std::memcpy(data + w * perWord, &ordered, sizeof ordered);
        }
    }
    for (size_t i = full * perWord; i < count; ++i) {
        const uint32_t shift = 32 - (static_cast<uint32_t>(i % perWord) + 1) * Width;
        data[i] = bitsElement<Width, T>(word[full] >> shift);
    }
}

template <uint32_t Width, class T>
void writeArray(user::IIoAccessor& io, uint32_t offset, const T* data, size_t count) {
    static_assert(Width == 1 || Width == 8 || Width == 16);
    constexpr uint32_t perWord = 32 / Width;
    if (count <= perWord) {
        uint32_t word = 0;
        for (size_t i = 0; i < count; ++i)
            word |= elementBits<Width>(data[i]) << ((count - 1 - i) * Width);
        io.write32(offset, word);
        return;
    }
    const uint32_t words = blockWords(count, Width);
    WordBuffer buffer(words);
    uint32_t* word = buffer.data();
    const size_t full = count / perWord;
    for (size_t w = 0; w < full; ++w) {
        if constexpr (Width == 1) {
            uint32_t packed = 0;
            for (uint32_t k = 0; k < perWord; ++k)
                packed |= elementBits<1>(data[w * perWord + k]) << (31 - k);
            word[w] = packed;
        } else {
            uint32_t ordered;
            std::memcpy(&ordered, data + w * perWord, sizeof ordered);
            word[w] = wordInElementOrder<Width>(ordered);
        }
    }
    if (full < words) {
        uint32_t last = 0;
        for (size_t i = full * perWord; i < count; ++i) {
            last |= elementBits<Width>(data[i])
                    << (32 - (static_cast<uint32_t>(i % perWord) + 1) * Width);
        }
        word[full] = last;
    }
    io.writeBlock(offset, reinterpret_cast<uintptr_t>(buffer.data()), words * 4, 4, 0);
}

}  // namespace qvzek::registerpacking
