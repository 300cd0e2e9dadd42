#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvhtl/utf8/utf8.h"

namespace {

// The bytes in a heap block of exactly their size: a read past the end fails
// under the address sanitizer.
struct ExactBytes {
    explicit ExactBytes(const std::string& s) : size(s.size()), data(new char[s.size()]) {
        s.copy(data.get(), size);
    }
    const char* begin() const { return data.get(); }
    const char* end() const { return data.get() + size; }
    size_t size;
    std::unique_ptr<char[]> data;
};

int compare(const std::string& a, const std::string& b) {
    ExactBytes x(a), y(b);
    return qvzek::compareCaseFolded(x.begin(), x.end(), y.begin(), y.end());
}

TEST(Utf8, CheckedDecoderClassifiesAndOnlyAdvancesOnSuccess) {
    struct Case {
        std::string bytes;
        int result;
        uint32_t codePoint;
    };
    for (const auto& c : std::vector<Case>{{"A", 0, 'A'},
                                           {"\xC3\xA9", 0, 0xE9},
                                           {"\xE2\x82\xAC", 0, 0x20AC},
                                           {"\xF4\x8F\xBF\xBF", 0, 0x10FFFF},
                                           {"\xC0\x80", 4, 0},
                                           {"\xF0\x8F\xBF\xBF", 4, 0},
                                           {"\xED\xA0\x80", 5, 0},
                                           {"\xF4\x90\x80\x80", 5, 0},
                                           {"\x80", 2, 0},
                                           {"\xF8\x88\x80\x80\x80", 2, 0},
                                           {"\xE2\x82", 1, 0},
                                           {"", 1, 0},
                                           {"\xE2\x41\x41", 3, 0}}) {
        ExactBytes text(c.bytes);
        const char* cursor = text.begin();
        uint32_t codePoint = 0;
        EXPECT_EQ(qvsstutf8::nextCodePointChecked(cursor, text.end(), codePoint), c.result)
            << testing::PrintToString(c.bytes);
        EXPECT_EQ(cursor, c.result == 0 ? text.end() : text.begin());
        if (c.result == 0) {
            EXPECT_EQ(codePoint, c.codePoint);
        }
    }
}

TEST(Utf8, UncheckedDecoderNeverPassesTheEnd) {
    ExactBytes text("\xE2\x82\xAC\x80\xC3\x41z\xF0\x9F");
    std::vector<uint32_t> decoded;
    for (const char* cursor = text.begin(); cursor < text.end();) {
        decoded.push_back(qvsstutf8::nextCodePoint(cursor, text.end()));
    }
    // Stray continuation and unvalidated pair as they come; the cut
    // four-byte sequence byte by byte.
    EXPECT_EQ(decoded, (std::vector<uint32_t>{0x20AC, 0x80, 0xC1, 'z', 0xF0, 0x9F}));
}

TEST(Utf8, FoldsTheListedBlocksAndNothingElse) {
    using V = std::vector<uint32_t>;
    const std::map<uint32_t, V> folds{{'A', {'a'}},
                                      {'0', {'0'}},
                                      {0xDF, {'s', 's'}},
                                      {0x130, {'i', 0x307}},
                                      {0xFB03, {'f', 'f', 'i'}},
                                      {0xB5, {0x3BC}},
                                      {0x17F, {'s'}},
                                      {0x1E9B, {0x1E61}},
                                      {0x2160, {0x2170}},
                                      {0x24B6, {0x24D0}},
                                      {0xFF3A, {0xFF5A}},
                                      {0x1E9E, {0x1E9E}},
                                      {0x391, {0x391}},
                                      {0xFFFFFFFF, {0xFFFFFFFF}}};
    for (const auto& [codePoint, expected] : folds) {
        uint32_t out[3] = {};
        const int n = qvsstutf8::foldCase(codePoint, out);
        EXPECT_EQ(V(out, out + n), expected) << std::hex << codePoint;
    }
}

TEST(Utf8, ComparesCaseFoldedAndStopsInsideCutSequences) {
    EXPECT_EQ(compare("STRASSE",
                      "stra\xC3\x9F"
                      "e"),
              0);
    EXPECT_EQ(compare("abc", "ABD"), -1);
    EXPECT_EQ(compare("ABD", "abc"), 1);
    EXPECT_EQ(compare("ab", "ABC"), -1);
    EXPECT_EQ(compare("", ""), 0);
    EXPECT_EQ(compare("\xEF\xAC\x83", "FFI"), 0);
    // A lead byte cut by the end counts as itself (U+00E2 < U+20AC).
    EXPECT_EQ(compare("abc\xE2", "ABC\xE2\x82\xAC"), -1);
    EXPECT_EQ(compare("a\xF0\x9F", "A\xF0\x9F"), 0);

    std::map<std::string, int, qvzek::CaseFoldedLess> markers{{"marker0", 0}, {"Marker1", 1}};
    markers["MARKER0"] = 5;
    EXPECT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers.at("marker0"), 5);
}

}  // namespace
