#include "qvhtl/utf8/utf8.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The bytes in a heap block of exactly their size, so that a read past the
// end is caught by the address sanitizer.
class ExactBytes {
public:
    explicit ExactBytes(const std::string& bytes) : size_(bytes.size()) {
        data_ = std::make_unique<char[]>(size_);
        std::copy(bytes.begin(), bytes.end(), data_.get());
    }
    const char* begin() const { return data_.get(); }
    const char* end() const { return data_.get() + size_; }

private:
    std::unique_ptr<char[]> data_;
    size_t size_;
};

struct Checked {
    int result;
    uint32_t codePoint;
    ptrdiff_t consumed;
};

Checked decodeChecked(const std::string& bytes) {
    ExactBytes text(bytes);
    const char* cursor = text.begin();
    uint32_t codePoint = 0xFFFFFFFF;
    int result = qvsstutf8::nextCodePointChecked(cursor, text.end(), codePoint);
    return {result, codePoint, cursor - text.begin()};
}

std::vector<uint32_t> fold(uint32_t codePoint) {
    uint32_t out[3] = {};
    int n = qvsstutf8::foldCase(codePoint, out);
    return std::vector<uint32_t>(out, out + n);
}

int compare(const std::string& a, const std::string& b) {
    ExactBytes first(a);
    ExactBytes second(b);
    return qvzek::compareCaseFolded(first.begin(), first.end(), second.begin(), second.end());
}

TEST(Utf8Checked, DecodesValidSequencesOfEveryLength) {
    for (auto [bytes, codePoint] : std::vector<std::pair<std::string, uint32_t>>{
             {"A", 'A'},
             {"\x7F", 0x7F},
             {"\xC3\xA9", 0xE9},
             {"\xE2\x82\xAC", 0x20AC},
             {"\xF0\x9F\x98\x80", 0x1F600},
             {"\xF4\x8F\xBF\xBF", 0x10FFFF}}) {
        auto decoded = decodeChecked(bytes + "tail");
        EXPECT_EQ(decoded.result, qvsstutf8::kDecodeOk) << bytes;
        EXPECT_EQ(decoded.codePoint, codePoint) << bytes;
        EXPECT_EQ(decoded.consumed, static_cast<ptrdiff_t>(bytes.size())) << bytes;
    }
}

TEST(Utf8Checked, ClassifiesBadSequencesAndLeavesTheCursor) {
    struct Case {
        std::string bytes;
        int result;
    };
    for (const auto& c : std::vector<Case>{
             {"\xC0\x80", qvsstutf8::kDecodeOverlong},
             {"\xE0\x80\xAF", qvsstutf8::kDecodeOverlong},
             {"\xF0\x8F\xBF\xBF", qvsstutf8::kDecodeOverlong},
             {"\xED\xA0\x80", qvsstutf8::kDecodeOutOfRange},
             {"\xF4\x90\x80\x80", qvsstutf8::kDecodeOutOfRange},
             {"\x80", qvsstutf8::kDecodeInvalidLead},
             {"\xF8\x88\x80\x80\x80", qvsstutf8::kDecodeInvalidLead},
             {"\xE2\x82", qvsstutf8::kDecodeTruncated},
             {"\xF0", qvsstutf8::kDecodeTruncated},
             {"", qvsstutf8::kDecodeTruncated},
             {"\xE2\x41\x41", qvsstutf8::kDecodeInvalidContinuation},
             {"\xC3\xC3", qvsstutf8::kDecodeInvalidContinuation}}) {
        auto decoded = decodeChecked(c.bytes);
        EXPECT_EQ(decoded.result, c.result) << testing::PrintToString(c.bytes);
        EXPECT_EQ(decoded.consumed, 0) << testing::PrintToString(c.bytes);
    }
}

TEST(Utf8Unchecked, DecodesByTheLeadByteAndNeverPassesTheEnd) {
    ExactBytes text("\xE2\x82\xAC\x80\xC3\x41z\xF0\x9F");
    const char* cursor = text.begin();
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0x20ACu);
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0x80u);   // a stray continuation
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0xC1u);   // not validated
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), uint32_t{'z'});
    // A four-byte lead with two bytes left: taken byte by byte.
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0xF0u);
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0x9Fu);
    EXPECT_EQ(cursor, text.end());
    EXPECT_EQ(qvsstutf8::nextCodePoint(cursor, text.end()), 0u);
    EXPECT_EQ(cursor, text.end());
}

TEST(CaseFolding, FoldsTheListedBlocksFully) {
    using V = std::vector<uint32_t>;
    EXPECT_EQ(fold('A'), V{'a'});
    EXPECT_EQ(fold('z'), V{'z'});
    EXPECT_EQ(fold('0'), V{'0'});
    EXPECT_EQ(fold(0xDF), (V{'s', 's'}));
    EXPECT_EQ(fold(0x130), (V{'i', 0x307}));
    EXPECT_EQ(fold(0xFB03), (V{'f', 'f', 'i'}));
    EXPECT_EQ(fold(0xC9), V{0xE9});
    EXPECT_EQ(fold(0xB5), V{0x3BC});   // micro sign
    EXPECT_EQ(fold(0x17F), V{'s'});    // long s
    EXPECT_EQ(fold(0x149), (V{0x2BC, 'n'}));
    EXPECT_EQ(fold(0x1E9B), V{0x1E61});
    EXPECT_EQ(fold(0x2160), V{0x2170});   // Roman numeral one
    EXPECT_EQ(fold(0x24B6), V{0x24D0});   // circled A
    EXPECT_EQ(fold(0xFF21), V{0xFF41});   // fullwidth A
    EXPECT_EQ(fold(0xFF3A), V{0xFF5A});
}

TEST(CaseFolding, LeavesEverythingElseAlone) {
    using V = std::vector<uint32_t>;
    EXPECT_EQ(fold(0x1E9E), V{0x1E9E});   // outside the folded blocks
    EXPECT_EQ(fold(0x391), V{0x391});
    EXPECT_EQ(fold(0x410), V{0x410});
    EXPECT_EQ(fold(0xFF41), V{0xFF41});
    EXPECT_EQ(fold(0x10FFFF), V{0x10FFFF});
    EXPECT_EQ(fold(0xFFFFFFFF), V{0xFFFFFFFF});
}

TEST(CompareCaseFolded, OrdersByFoldedCodePoints) {
    EXPECT_EQ(compare("STRASSE", "stra\xC3\x9F" "e"), 0);
    EXPECT_EQ(compare("abc", "ABD"), -1);
    EXPECT_EQ(compare("ABD", "abc"), 1);
    EXPECT_EQ(compare("Marker0", "mARKER0"), 0);
    EXPECT_EQ(compare("", ""), 0);
    EXPECT_EQ(compare("ab", "ABC"), -1);
    EXPECT_EQ(compare("ABC", "ab"), 1);
    EXPECT_EQ(compare("\xEF\xAC\x83", "FFI"), 0);   // ligature ffi
    EXPECT_EQ(compare("\xE2\x85\xA0", "\xE2\x85\xB0"), 0);   // Roman numeral one
    EXPECT_EQ(compare("x", "\xC3\xA9"), -1);
}

TEST(CompareCaseFolded, StopsAtTheEndOfACutSequence) {
    // Each text ends inside a multi-byte sequence; the exact-size blocks
    // make any read past the end fail under the address sanitizer.
    // The cut lead byte counts as itself (U+00E2), below U+20AC.
    EXPECT_EQ(compare("abc\xE2", "ABC\xE2\x82\xAC"), -1);
    EXPECT_EQ(compare("ABC\xE2\x82\xAC", "abc\xE2"), 1);
    EXPECT_EQ(compare("a\xF0\x9F", "A\xF0\x9F"), 0);
    EXPECT_EQ(compare("\xC3", "\xC3\xA9"), -1);
}

TEST(CompareCaseFolded, OrdersMapsOfNames) {
    std::map<std::string, int, qvzek::CaseFoldedLess> markers;
    markers["marker0"] = 0;
    markers["Marker1"] = 1;
    EXPECT_EQ(markers.count("MARKER0"), 1u);
    EXPECT_EQ(markers.find("marker1")->second, 1);
    markers["MARKER0"] = 5;
    EXPECT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers.begin()->second, 5);
}

}  // namespace
