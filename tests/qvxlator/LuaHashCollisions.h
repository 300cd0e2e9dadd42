// Error contexts crafted against the string hash of Lua 5.1, which seeds
// with the length alone and, for a string of 32 bytes or more, reads only
// every (length / 32 + 1)-th byte: the keys of such an object all land in
// one chain of the interpreter's string table and of the decoded table, so
// decoding takes time quadratic in their number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xlatortest {

// Lua 5.1's luaS_hash, as lstring.c computes it.
inline uint32_t luaStringHash(const char* text, size_t length) {
    uint32_t h = static_cast<uint32_t>(length);
    const size_t step = (length >> 5) + 1;
    for (size_t l1 = length; l1 >= step; l1 -= step) {
        h = h ^ ((h << 5) + (h >> 2) + static_cast<unsigned char>(text[l1 - 1]));
    }
    return h;
}

// {"<key>":0,...} of at most `bytes` bytes from the keys `nextKey` yields
// (each call returns the next key, or "" when it has no more).
template <typename NextKey>
std::string objectOfKeys(size_t bytes, NextKey nextKey) {
    std::string json = "{";
    for (std::string key = nextKey(); !key.empty(); key = nextKey()) {
        const size_t entry = key.size() + 4 + (json.size() > 1 ? 1 : 0);
        if (json.size() + entry + 1 > bytes) break;
        if (json.size() > 1) json += ',';
        json += '"' + key + "\":0";
    }
    return json + "}";
}

constexpr char kKeyAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr size_t kKeyAlphabetSize = sizeof kKeyAlphabet - 1;

// Keys of 32 bytes that differ only in the bytes the hash skips (the even
// offsets), so every key has the same full hash. The varying bytes come
// last, so that comparing two keys reads most of them.
inline std::string longKeyCollisions(size_t bytes) {
    uint64_t index = 0;
    return objectOfKeys(bytes, [&index] {
        std::string key(32, 'x');
        uint64_t n = index++;
        for (int offset = 30; offset >= 0; offset -= 2) {
            key[offset] = kKeyAlphabet[n % kKeyAlphabetSize];
            n /= kKeyAlphabetSize;
        }
        return key;
    });
}

// Six-byte keys whose hashes agree in their low `bits` bits: the bucket of
// a table of up to 2^bits slots, for more keys per byte than the long ones
// give. Found by search, about 2^bits candidates per key.
inline std::string shortKeyCollisions(size_t bytes, int bits) {
    const uint32_t mask = (uint32_t{1} << bits) - 1;
    uint64_t candidate = 0;
    bool first = true;
    uint32_t bucket = 0;
    return objectOfKeys(bytes, [&] {
        char key[6];
        for (;;) {
            uint64_t n = candidate++;
            for (char& c : key) {
                c = kKeyAlphabet[n % kKeyAlphabetSize];
                n /= kKeyAlphabetSize;
            }
            if (n) return std::string();  // every six-byte key tried
            const uint32_t h = luaStringHash(key, sizeof key) & mask;
            if (first) {
                first = false;
                bucket = h;
            }
            if (h == bucket) return std::string(key, sizeof key);
        }
    });
}

}  // namespace xlatortest
