#include "qvhtl/utf8/utf8.h"

#include <algorithm>
#include <cstring>

#include "qvhtl/utf8/encode.h"

namespace qvsstutf8 {

namespace {

struct FoldEntry {
    uint32_t codePoint;
    uint32_t count;
    uint32_t folded[3];
};

constexpr FoldEntry kFoldTable[] = {
#include "qvhtl/utf8/caseFoldTable.inc"
};

// Number of bytes announced by a lead byte; 1 for anything that is no lead.
inline int sequenceLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

inline uint32_t leadBits(unsigned char lead, int length) {
    static constexpr unsigned char kMask[] = {0, 0xFF, 0x1F, 0x0F, 0x07};
    return lead & kMask[length];
}

}  // namespace

uint32_t nextCodePoint(const char*& cursor, const char* end) {
    if (cursor >= end) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(cursor);
    int length = sequenceLength(bytes[0]);
    // A sequence cut by the end is taken byte by byte: nothing past the end
    // is ever read.
    if (length > end - cursor) length = 1;
    uint32_t codePoint = leadBits(bytes[0], length);
    for (int i = 1; i < length; ++i) codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
    cursor += length;
    return codePoint;
}

int nextCodePointChecked(const char*& cursor, const char* end, uint32_t& codePoint) {
    if (cursor >= end) return kDecodeTruncated;
    const auto* bytes = reinterpret_cast<const unsigned char*>(cursor);
    unsigned char lead = bytes[0];
    if (lead < 0x80) {
        codePoint = lead;
        ++cursor;
        return kDecodeOk;
    }
    int length = sequenceLength(lead);
    if (length == 1) return kDecodeInvalidLead;
    uint32_t value = leadBits(lead, length);
    for (int i = 1; i < length; ++i) {
        if (i >= end - cursor) return kDecodeTruncated;
        if ((bytes[i] & 0xC0) != 0x80) return kDecodeInvalidContinuation;
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length]) return kDecodeOverlong;
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return kDecodeOutOfRange;
    codePoint = value;
    cursor += length;
    return kDecodeOk;
}

int foldCase(uint32_t codePoint, uint32_t out[3]) {
    if (codePoint < 0x80) {
        out[0] = (codePoint >= 'A' && codePoint <= 'Z') ? codePoint + ('a' - 'A') : codePoint;
        return 1;
    }
    const auto* last = std::end(kFoldTable);
    const auto* found = std::lower_bound(
        std::begin(kFoldTable), last, codePoint,
        [](const FoldEntry& entry, uint32_t value) { return entry.codePoint < value; });
    if (found == last || found->codePoint != codePoint) {
        out[0] = codePoint;
        return 1;
    }
    std::copy_n(found->folded, found->count, out);
    return static_cast<int>(found->count);
}

void appendCodePoint(std::string& out, uint32_t codePoint) {
    unsigned char bytes[4];
    out.append(reinterpret_cast<const char*>(bytes),
               static_cast<size_t>(encodeCodePoint(codePoint, bytes)));
}

}  // namespace qvsstutf8

namespace qvzek {

namespace {

// The folded code points of a UTF-8 range, one at a time.
class FoldedStream {
public:
    FoldedStream(const char* begin, const char* end) : cursor_(begin), end_(end) {}

    // False at the end of the range.
    bool next(uint32_t& codePoint) {
        if (index_ == count_) {
            if (cursor_ >= end_) return false;
            count_ = qvsstutf8::foldCase(qvsstutf8::nextCodePoint(cursor_, end_), folded_);
            index_ = 0;
        }
        codePoint = folded_[index_++];
        return true;
    }

private:
    const char* cursor_;
    const char* end_;
    uint32_t folded_[3] = {};
    int count_ = 0;
    int index_ = 0;
};

}  // namespace

int compareCaseFolded(const char* first, const char* firstEnd, const char* second,
                      const char* secondEnd) {
    const auto length = firstEnd - first;
    if (length == secondEnd - second &&
        (length == 0 || first == second || std::memcmp(first, second, length) == 0)) {
        return 0;
    }
    FoldedStream a(first, firstEnd);
    FoldedStream b(second, secondEnd);
    for (;;) {
        uint32_t x = 0;
        uint32_t y = 0;
        bool hasA = a.next(x);
        bool hasB = b.next(y);
        if (!hasA) return hasB ? -1 : 0;
        if (!hasB) return 1;
        if (x != y) return x < y ? -1 : 1;
    }
}

}  // namespace qvzek
