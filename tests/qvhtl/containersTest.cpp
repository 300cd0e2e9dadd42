#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"
#include "qverr/Status.h"
#include "qvhtl/apal/Vector.h"
#include "qvhtl/err/String.h"

// These containers handle allocation failure: let the address sanitizer's
// allocator return null for a request it cannot serve.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

constexpr uint64_t kHuge = uint64_t{1} << 62;

void raiseInvalidParameter(qverr::Status& status) {
    status.setCode(qverr::qvapalerr_invalidParameter,
                   QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"));
}

TEST(ErrString, TakesRangesOfItsOwnText) {
    qverr::Status status;
    qvhtl::err::String s;
    std::string expected;
    for (int i = 0; i < 300; ++i) expected += static_cast<char>('a' + i % 26);
    s.assign(expected.data(), 300, status);
    ASSERT_LT(s.capacity(), 340u);  // so that inserting a range of itself reallocates
    s.insertRange(s.c_str() + 20, s.c_str() + 60, status);
    expected += expected.substr(20, 40);
    EXPECT_EQ(std::string(s.c_str(), s.size()), expected);
    s.assign(s.c_str() + 1, 5, status);  // overlapping, in place
    s.erase(2, 2);
    EXPECT_STREQ(s.c_str(), "bcf");
    s.erase(1, 100);
    EXPECT_STREQ(s.c_str(), "b");
    EXPECT_EQ(status.code, 0);
}

// Capacity becomes the largest of 127, the size asked for and 1.5 times the
// old capacity.
TEST(ErrString, GrowsToTheLargestOf127TheSizeAndHalfAgain) {
    qverr::Status status;
    qvhtl::err::String s;
    const std::pair<uint64_t, uint64_t> growth[] = {
        {10, 127}, {127, 127}, {128, 190}, {200, 285}, {1000, 1000}};
    for (const auto& [size, capacity] : growth) {
        s.reserve(size, status);
        EXPECT_EQ(s.capacity(), capacity) << size;
    }

    qvhtl::err::String t;
    t.reserve(200, status);
    EXPECT_EQ(t.capacity(), 200u);
    t.assignCString("text", status);
    t.reserve(201, status);
    EXPECT_EQ(t.capacity(), 300u);
    EXPECT_STREQ(t.c_str(), "text");
    // Appending past the capacity grows by the same rule.
    const std::string more(297, 'm');
    t.insertRange(more.data(), more.data() + more.size(), status);
    EXPECT_EQ(t.capacity(), 450u);
    EXPECT_EQ(t.size(), 301u);
    EXPECT_EQ(status.code, 0);
}

TEST(ErrString, FailuresRaiseMemoryFullWithoutTouchingTextOrAnEarlierError) {
    qverr::Status status;
    qvhtl::err::String s;
    s.assignCString("kept", status);
    s.reserve(UINT64_MAX, status);
    EXPECT_STREQ(s.c_str(), "kept");
    EXPECT_STREQ(status.jsonText(),
                 "{\"error_constant\":\"qvapalerr_memoryFull\",\"file\":\"qvhtl/err/Allocator\","
                 "\"line\":0,\"component\":\"internal_sdi_hal23u\"}");

    qverr::Status earlier;
    raiseInvalidParameter(earlier);
    const std::string detail = earlier.jsonText();
    qvhtl::err::String t;
    t.reserve(kHuge, earlier);
    t.assignCString("x", earlier);
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(earlier.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(detail, earlier.jsonText());
}

// A range of the vector inserted into itself at every position, in place
// and with reallocation, must give what inserting a copy gives.
TEST(ErrVector, InsertsRangesOfItselfAnywhere) {
    for (int spare : {0, 32}) {
        for (int at = 0; at <= 6; ++at) {
            for (int first = 0; first < 6; ++first) {
                for (int last = first + 1; last <= 6; ++last) {
                    qverr::Status status;
                    qvhtl::err::Vector<int> v;
                    std::vector<int> expected(spare, 0);
                    v.insertRange(expected.data(), expected.data() + spare, status);
                    v.clear();
                    expected = {10, 11, 12, 13, 14, 15};
                    v.insertRange(expected.data(), expected.data() + 6, status);
                    const std::vector<int> range(expected.begin() + first, expected.begin() + last);
                    expected.insert(expected.begin() + at, range.begin(), range.end());
                    v.insertRangeAt(at, v.data() + first, v.data() + last, status);
                    ASSERT_EQ(std::vector<int>(v.begin(), v.end()), expected)
                        << spare << " " << at << " " << first << " " << last;
                }
            }
        }
    }
}

TEST(StringTriple, CopiesStringsAndStatusSwapsOnlyStrings) {
    qvhtl::err::StringTriple paths;
    paths.first.assignCString("prefixdir", paths.status);
    paths.second.assignCString("/usr", paths.status);
    raiseInvalidParameter(paths.status);
    qvhtl::err::StringTriple copy(paths);
    EXPECT_STREQ(copy.second.c_str(), "/usr");
    EXPECT_STREQ(copy.status.jsonText(), paths.status.jsonText());
    qvhtl::err::StringTriple other(qverr::Status{});
    other.swap(copy);
    EXPECT_STREQ(other.first.c_str(), "prefixdir");
    EXPECT_TRUE(copy.first.empty());
    EXPECT_EQ(other.status.code, 0);
}

TEST(ApalVector, InsertsBytesAndReportsFailuresAtTheirSites) {
    nQVAPALS100::tStatus status;
    qvhtl::apal::Vector v;
    const uint8_t word[] = {1, 2, 3, 4};
    v.insertRange(0, 4, 0xFF, status);
    v.insertRange(2, word, word + 4, status);
    v.insertRange(v.size(), v.data() + 1, v.data() + 4, status);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(v.data()), v.size()),
              std::string("\xFF\xFF\x01\x02\x03\x04\xFF\xFF\xFF\x01\x02", 11));
    EXPECT_EQ(v.capacity(), 12u);

    v.insertRange(0, UINT64_MAX - 1, 0xFF, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_STREQ(status.file, "qvhtl/apal/Allocator");
    EXPECT_EQ(status.line, 32u);
    nQVAPALS100::tStatus failed;
    v.insertRange(0, kHuge, 0xFF, failed);
    EXPECT_STREQ(failed.file, "qvapal/quarks/memory");
    EXPECT_EQ(failed.line, 393u);
    v.insertRange(0, 1, 0, failed);  // skipped: the status holds an error
    EXPECT_EQ(v.size(), 11u);
}

}  // namespace
