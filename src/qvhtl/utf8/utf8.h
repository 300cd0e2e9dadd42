// UTF-8 decoding, Unicode full case folding and the case-insensitive
// ordering of name-keyed maps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qvsstutf8 {

enum DecodeResult : int {
    kDecodeOk = 0,
    kDecodeTruncated = 1,
    kDecodeInvalidLead = 2,
    kDecodeInvalidContinuation = 3,
    kDecodeOverlong = 4,
    kDecodeOutOfRange = 5,  // surrogate or above U+10FFFF
};

// Decodes by the lead byte without validation (any other byte is returned as
// itself) and advances the cursor; never reads at or past `end`.
uint32_t nextCodePoint(const char*& cursor, const char* end);
// Validating decoder; on failure the cursor stays where it was.
int nextCodePointChecked(const char*& cursor, const char* end, uint32_t& codePoint);
// Full case folding of one code point into 1 to 3 code points.
int foldCase(uint32_t codePoint, uint32_t out[3]);
// Appends the code point in UTF-8: 1 byte below 0x80, 2 below 0x800, 3
// below 0x10000, else 4.
void appendCodePoint(std::string& out, uint32_t codePoint);

}  // namespace qvsstutf8

namespace qvzek {

// -1, 0 or 1 comparing the case-folded code point sequences.
int compareCaseFolded(const char* first, const char* firstEnd, const char* second,
                      const char* secondEnd);
inline int compareCaseFolded(std::string_view a, std::string_view b) {
    return compareCaseFolded(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
}

// Orders names case-insensitively (for maps keyed by names).
struct CaseFoldedLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return compareCaseFolded(a, b) < 0;
    }
};

}  // namespace qvzek
