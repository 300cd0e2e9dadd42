// UTF-8 encoding of one code point, header-only so that the lowest layers
// (the JSON reader of qverr) share it without a link dependency.
#pragma once

#include <cstdint>

namespace qvsstutf8 {

// Writes the code point's UTF-8 bytes to out and returns their count: 1
// below 0x80, 2 below 0x800, 3 below 0x10000, else 4.
inline int encodeCodePoint(uint32_t codePoint, unsigned char out[4]) {
    if (codePoint < 0x80) {
        out[0] = static_cast<unsigned char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | ((codePoint >> 18) & 0x07));
    out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    return 4;
}

}  // namespace qvsstutf8
