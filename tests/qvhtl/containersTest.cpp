#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "qvapal/status/tStatus.h"
#include "qverr/Status.h"
#include "qvhtl/apal/Vector.h"
#include "qvhtl/err/String.h"

// Allocation failures are part of what these containers handle: let the
// address sanitizer's allocator return null for a request it cannot serve.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using qvhtl::err::String;

constexpr uint64_t kHugeCount = uint64_t{1} << 62;

void raiseInvalidParameter(qverr::Status& status) {
    status.setCode(qverr::qvapalerr_invalidParameter,
                   QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"));
}

void append(String& s, const std::string& text, qverr::Status& status) {
    s.insertRange(text.data(), text.data() + text.size(), status);
}

TEST(ErrString, ReserveGrowsToTheLargestOfTheRules) {
    qverr::Status status;
    String fresh;
    fresh.reserve(10, status);
    EXPECT_EQ(fresh.capacity(), 127u);
    EXPECT_STREQ(fresh.c_str(), "");

    String s;
    s.reserve(200, status);
    EXPECT_EQ(s.capacity(), 200u);
    s.reserve(150, status);
    EXPECT_EQ(s.capacity(), 200u);
    s.reserve(201, status);
    EXPECT_EQ(s.capacity(), 300u);
    s.reserve(1000, status);
    EXPECT_EQ(s.capacity(), 1000u);
    EXPECT_EQ(status.code, 0);
}

TEST(ErrString, AssignAppendAndErase) {
    qverr::Status status;
    String s;
    s.assignCString("waveform", status);
    EXPECT_STREQ(s.c_str(), "waveform");
    EXPECT_EQ(s.size(), 8u);
    append(s, "_01", status);
    EXPECT_STREQ(s.c_str(), "waveform_01");
    s.assign("wave", 4, status);   // in place
    EXPECT_STREQ(s.c_str(), "wave");
    EXPECT_EQ(s.capacity(), 127u);
    s.assign(s.c_str() + 1, 2, status);   // overlapping source
    EXPECT_STREQ(s.c_str(), "av");
    s.assign("ignored", 0, status);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_TRUE(s.empty());

    s.assignCString("0123456789", status);
    s.erase(2, 3);
    EXPECT_STREQ(s.c_str(), "0156789");
    s.erase(4, 100);
    EXPECT_STREQ(s.c_str(), "0156");
    s.erase(10, 1);
    EXPECT_STREQ(s.c_str(), "0156");
    EXPECT_EQ(status.code, 0);
}

TEST(ErrString, AppendsItsOwnMiddleAcrossAReallocation) {
    qverr::Status status;
    String s;
    std::string expected(127, 'x');
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>('a' + i % 26);
    s.assign(expected.data(), expected.size(), status);
    ASSERT_EQ(s.capacity(), 127u);
    s.insertRange(s.c_str() + 20, s.c_str() + 60, status);
    expected += expected.substr(20, 40);
    EXPECT_EQ(std::string(s.c_str(), s.size()), expected);
    EXPECT_GT(s.capacity(), 127u);
    EXPECT_EQ(status.code, 0);
}

TEST(ErrString, DoesNothingOnceTheStatusHoldsAnError) {
    qverr::Status status;
    String s;
    s.assignCString("kept", status);
    raiseInvalidParameter(status);
    const std::string detail = status.jsonText();
    s.assignCString("replaced", status);
    append(s, "more", status);
    s.reserve(5000, status);
    EXPECT_STREQ(s.c_str(), "kept");
    EXPECT_EQ(s.capacity(), 127u);
    s.erase(0, 1);   // needs no status
    EXPECT_STREQ(s.c_str(), "ept");
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(detail, status.jsonText());
}

TEST(ErrString, AFailedAllocationRaisesMemoryFullAndKeepsTheText) {
    qverr::Status status;
    String s;
    s.assignCString("kept", status);
    s.reserve(UINT64_MAX, status);
    EXPECT_STREQ(s.c_str(), "kept");
    EXPECT_EQ(s.capacity(), 127u);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_STREQ(status.jsonText(),
                 "{\"error_constant\":\"qvapalerr_memoryFull\",\"file\":\"qvhtl/err/Allocator\","
                 "\"line\":0,\"component\":\"internal_sdi_hal23u\"}");

    // A real allocation failure from a warning state: the error replaces it.
    qverr::Status warned;
    warned.setCodeOnly(1);
    String t;
    t.assign("ab", 2, warned);
    t.reserve(kHugeCount, warned);
    EXPECT_EQ(warned.code, qverr::qvapalerr_memoryFull);
    EXPECT_STREQ(t.c_str(), "ab");
}

TEST(ErrVector, GrowsByHalfWithAMinimumOfEight) {
    qverr::Status status;
    qvhtl::err::Vector<int> v;
    int values[20];
    std::iota(values, values + 20, 0);
    v.insertRange(values, values + 3, status);
    EXPECT_EQ(v.capacity(), 8u);
    v.insertRange(values + 3, values + 9, status);
    EXPECT_EQ(v.capacity(), 12u);
    v.insertRange(values + 9, values + 20, status);
    EXPECT_EQ(v.capacity(), 20u);
    EXPECT_TRUE(std::equal(v.begin(), v.end(), values, values + 20));
    EXPECT_EQ(status.code, 0);
}

// Inserting a range of the vector into itself, at every position, with and
// without reallocation, must give what inserting a copy gives.
TEST(ErrVector, InsertsRangesOfItselfAnywhere) {
    for (bool roomy : {false, true}) {
        for (int position = 0; position <= 6; ++position) {
            for (int first = 0; first < 6; ++first) {
                for (int last = first + 1; last <= 6; ++last) {
                    qverr::Status status;
                    qvhtl::err::Vector<int> v;
                    if (roomy) {
                        int filler[32] = {};
                        v.insertRange(filler, filler + 32, status);
                        v.clear();
                    }
                    std::vector<int> expected{10, 11, 12, 13, 14, 15};
                    v.insertRange(expected.data(), expected.data() + 6, status);
                    const uint64_t capacity = v.capacity();
                    std::vector<int> range(expected.begin() + first, expected.begin() + last);
                    expected.insert(expected.begin() + position, range.begin(), range.end());
                    v.insertRangeAt(position, v.data() + first, v.data() + last, status);
                    ASSERT_EQ(std::vector<int>(v.begin(), v.end()), expected)
                        << (roomy ? "in place" : "growing") << " at " << position << " ["
                        << first << "," << last << ")";
                    if (roomy) {
                        EXPECT_EQ(v.capacity(), capacity);
                    }
                }
            }
        }
    }
}

TEST(ErrVector, AFailedGrowthKeepsTheContentsAndTheFirstError) {
    qverr::Status status;
    qvhtl::err::Vector<int> v;
    int values[] = {1, 2, 3};
    v.insertRange(values, values + 3, status);
    raiseInvalidParameter(status);
    const std::string detail = status.jsonText();
    v.insertRange(values, values + 3, status);
    EXPECT_EQ(v.size(), 3u);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(detail, status.jsonText());
}

TEST(StringTriple, CopiesStringsAndStatusAndSwapsStrings) {
    qverr::Status source;
    raiseInvalidParameter(source);
    qvhtl::err::StringTriple record(source);
    EXPECT_EQ(record.status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_STREQ(record.status.jsonText(), source.jsonText());
    EXPECT_TRUE(record.first.empty());

    qvhtl::err::StringTriple paths;
    paths.first.assignCString("prefixdir", paths.status);
    paths.second.assignCString("/usr", paths.status);
    paths.third.assignCString("", paths.status);
    paths.status.setCodeOnly(7);
    qvhtl::err::StringTriple copy(paths);
    EXPECT_STREQ(copy.first.c_str(), "prefixdir");
    EXPECT_STREQ(copy.second.c_str(), "/usr");
    EXPECT_STREQ(copy.third.c_str(), "");
    EXPECT_EQ(copy.status.code, 7);

    copy.swap(record);
    EXPECT_STREQ(record.first.c_str(), "prefixdir");
    EXPECT_TRUE(copy.first.empty());
    EXPECT_EQ(record.status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(copy.status.code, 7);
}

std::string bytesOf(const qvhtl::apal::Vector& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size());
}

TEST(ApalVector, InsertsRangesAndFillBytes) {
    nQVAPALS100::tStatus status;
    qvhtl::apal::Vector v;
    const uint8_t word[] = {1, 2, 3, 4};
    v.insertRange(0, 4, 0xFF, status);
    EXPECT_EQ(v.capacity(), 8u);
    v.insertRange(2, word, word + 4, status);
    EXPECT_EQ(bytesOf(v), std::string("\xFF\xFF\x01\x02\x03\x04\xFF\xFF", 8));
    v.insertRange(v.size(), v.data() + 1, v.data() + 4, status);   // a range of itself
    EXPECT_EQ(bytesOf(v), std::string("\xFF\xFF\x01\x02\x03\x04\xFF\xFF\xFF\x01\x02", 11));
    EXPECT_EQ(v.capacity(), 12u);
    v.insertRange(100, 1, 0xAB, status);   // past the end: appended
    EXPECT_EQ(v.data()[11], 0xAB);
    EXPECT_EQ(status.code, 0);
}

TEST(ApalVector, FailedGrowthRaisesMemoryFullAtItsSite) {
    nQVAPALS100::tStatus overflow;
    qvhtl::apal::Vector v;
    v.insertRange(0, 3, 0xFF, overflow);
    v.insertRange(0, UINT64_MAX - 1, 0xFF, overflow);
    EXPECT_EQ(overflow.code, -52000);
    EXPECT_STREQ(overflow.file, "qvhtl/apal/Allocator");
    EXPECT_EQ(overflow.line, 32u);
    EXPECT_STREQ(overflow.component, "internal_");
    EXPECT_EQ(v.size(), 3u);

    nQVAPALS100::tStatus failed;
    v.insertRange(0, kHugeCount, 0xFF, failed);
    EXPECT_EQ(failed.code, -52000);
    EXPECT_STREQ(failed.file, "qvapal/quarks/memory");
    EXPECT_EQ(failed.line, 393u);
    EXPECT_EQ(v.size(), 3u);
}

TEST(ApalVector, ANewFailureNeverReplacesAnEarlierError) {
    nQVAPALS100::tStatus status;
    status.setCode(-52005, "internal_sdi_hal23u", "qvapal/first", 5);
    qvhtl::apal::Vector v;
    v.insertRange(0, 4, 0xFF, status);
    v.insertRange(0, kHugeCount, 0xFF, status);
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(status.code, -52005);
    EXPECT_STREQ(status.file, "qvapal/first");
    EXPECT_EQ(status.line, 5u);
}

}  // namespace
