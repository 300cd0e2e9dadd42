#include "qverr/Status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qvapal/status/tStatus.h"
#include "qverr/json.h"

namespace {

using qverr::Status;

constexpr qverr::SourceLocation kInvalidParameter{"qverr/Status.cpp", 123, "qv3377hal",
                                                  "qvapalerr_invalidParameter"};
constexpr qverr::SourceLocation kNotFound{"qvapal/open.cpp", 9, "internal_sdi_hal23u",
                                          "qvapalerr_resourceNotFound"};
constexpr qverr::SourceLocation kNoComponent{"a.cpp", 5, nullptr, "fifoFindStatus"};

TEST(StatusRaise, WritesTheExactDetail) {
    Status status;
    bool complete = false;
    EXPECT_TRUE(status.setCode(-52005, kInvalidParameter, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(status.code, -52005);
    EXPECT_STREQ(status.jsonText(),
                 "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qverr/Status.cpp\","
                 "\"line\":123,\"component\":\"qv3377hal\"}");
    EXPECT_EQ(status.capacity, 512u);
    EXPECT_EQ(status.json[511], 'J');

    Status plain;
    plain.setCode(-1, kNoComponent);
    EXPECT_STREQ(plain.jsonText(),
                 "{\"error_constant\":\"fifoFindStatus\",\"file\":\"a.cpp\",\"line\":5}");
}

TEST(StatusRaise, RecordsTheRaiseSiteOfTheMacro) {
    Status status;
    const int64_t line = __LINE__ + 1;
    status.setCode(-52006, QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"));
    const std::string expectedLine = "\"line\":" + std::to_string(line) + ",";
    EXPECT_NE(std::string(status.jsonText()).find(expectedLine), std::string::npos)
        << status.jsonText();
}

TEST(StatusRaise, SuccessStoresNothingAndAllocatesNothing) {
    Status status;
    EXPECT_FALSE(status.setCode(0, kInvalidParameter));
    EXPECT_EQ(status.json, nullptr);
    EXPECT_EQ(status.capacity, 0u);
    EXPECT_STREQ(status.jsonText(), "");
}

TEST(StatusPrecedence, TheFirstErrorSurvivesLaterRaisesAndMerges) {
    Status status;
    EXPECT_TRUE(status.setCode(3, kNoComponent));
    EXPECT_FALSE(status.setCode(4, kNotFound));
    EXPECT_EQ(status.code, 3);
    EXPECT_NE(std::string(status.jsonText()).find("fifoFindStatus"), std::string::npos);

    EXPECT_TRUE(status.setCode(-52005, kInvalidParameter));
    const std::string firstDetail = status.jsonText();

    Status later;
    later.setCode(-52006, kNotFound);
    EXPECT_FALSE(status.setCode(-52000, kNotFound));
    EXPECT_FALSE(status.setCode(17, kNotFound));
    EXPECT_FALSE(status.merge(later));
    EXPECT_FALSE(status.mergeMove(later));
    EXPECT_FALSE(status.setCodeOnly(-1));
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(firstDetail, status.jsonText());
    // The refused source keeps its buffer.
    EXPECT_NE(later.json, nullptr);
}

TEST(StatusPrecedence, SetCodeOnlyResetsTheDetail) {
    Status status;
    status.setCode(2, kNotFound);
    EXPECT_TRUE(status.setCodeOnly(-7));
    EXPECT_STREQ(status.jsonText(), "{}");
}

TEST(StatusMerge, CopiesCodeAndDetail) {
    Status source;
    source.setCode(-52006, kNotFound);
    Status target;
    bool complete = false;
    EXPECT_TRUE(target.merge(source, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(target.code, -52006);
    EXPECT_STREQ(target.jsonText(), source.jsonText());
    EXPECT_NE(target.json, source.json);

    // A source without detail stores the code and resets the detail.
    Status warned;
    warned.setCode(5, kNoComponent);
    Status bare;
    bare.code = -9;
    EXPECT_TRUE(warned.merge(bare));
    EXPECT_EQ(warned.code, -9);
    EXPECT_STREQ(warned.jsonText(), "{}");
}

TEST(StatusMerge, MoveHandsOverTheBufferWhenReallocMatches) {
    Status source;
    source.setCode(-52006, kNotFound);
    char* buffer = source.json;
    Status target;
    target.setCode(4, kNoComponent);
    EXPECT_TRUE(target.mergeMove(source));
    EXPECT_EQ(target.json, buffer);
    EXPECT_EQ(target.capacity, 512u);
    EXPECT_EQ(source.json, nullptr);
    EXPECT_EQ(source.capacity, 0u);
}

// A realloc of its own: a fixed buffer that never grows.
char gFixedBuffer[64];
bool fixedRealloc(Status& status, uint32_t size) {
    if (size == 0) {
        status.json = nullptr;
        status.capacity = 0;
        return true;
    }
    if (size > sizeof gFixedBuffer) return false;
    if (!status.json) {
        qverr::json::initBuffer(gFixedBuffer, sizeof gFixedBuffer, "{}");
        status.json = gFixedBuffer;
        status.capacity = sizeof gFixedBuffer;
    }
    return true;
}

TEST(StatusMerge, MoveCopiesBetweenDifferentReallocs) {
    Status source;
    source.realloc = &fixedRealloc;
    source.setCode(-1, kNoComponent);
    Status target;
    EXPECT_TRUE(target.mergeMove(source));
    EXPECT_STREQ(target.jsonText(), source.jsonText());
    EXPECT_NE(target.json, source.json);
    EXPECT_EQ(source.json, gFixedBuffer);
}

TEST(StatusDetail, ABufferThatCannotGrowFailsWithoutLooping) {
    Status status;
    status.realloc = &fixedRealloc;
    bool complete = true;
    EXPECT_TRUE(status.setCode(-52005, kInvalidParameter, &complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(status.code, -52005);
    // What did fit is still valid JSON.
    qverr::json::Token token;
    EXPECT_NE(qverr::json::parseValue(status.json, token), nullptr);
}

TEST(StatusDetail, GrowsByDoubling) {
    Status status;
    status.setCode(-1, kNoComponent);
    char* cursor = status.getJsonInsertPoint(2);
    const std::string value(300, 'v');
    uint32_t expected[] = {512, 1024, 1024, 2048, 2048, 2048, 4096};
    for (uint32_t capacity : expected) {
        cursor = status.addJsonString(cursor, "k", value.c_str());
        ASSERT_NE(cursor, nullptr);
        EXPECT_EQ(status.capacity, capacity);
        EXPECT_EQ(status.json[status.capacity - 1], 'J');
    }
    EXPECT_TRUE(qverr::defaultJsonRealloc(status, 100));
    EXPECT_EQ(status.capacity, 4096u);
    EXPECT_FALSE(qverr::defaultJsonRealloc(status, 0x80000000u));
    EXPECT_EQ(status.getJsonInsertPoint(0x7FFFFFFE), nullptr);
}

TEST(StatusDetail, SetJsonAndAssign) {
    Status status;
    char* cursor = status.setJson("{\"a\":1}");
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(*cursor, '}');
    EXPECT_STREQ(status.setJson(nullptr), "}");
    EXPECT_STREQ(status.jsonText(), "{}");

    Status other;
    other.setCode(-3, kNotFound);
    status.code = -1;
    EXPECT_TRUE(status.assign(other));  // precedence does not apply
    EXPECT_EQ(status.code, -3);
    EXPECT_STREQ(status.jsonText(), other.jsonText());

    Status empty;
    EXPECT_TRUE(status.assign(empty));
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.json, nullptr);
}

TEST(StatusDetail, MoveConstructionAndAssignmentLeaveTheSourceEmpty) {
    Status source;
    source.setCode(-1, kNoComponent);
    Status moved(std::move(source));
    EXPECT_EQ(source.json, nullptr);
    EXPECT_EQ(source.code, 0);
    EXPECT_EQ(moved.code, -1);
    Status assigned;
    assigned.setCode(-2, kNotFound);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.code, -1);
    EXPECT_EQ(moved.json, nullptr);
}

TEST(StatusCodeNarrowing, KeepsTheSignClass) {
    using qverr::narrowStatusCode;
    EXPECT_EQ(narrowStatusCode(-52005), -52005);
    EXPECT_EQ(narrowStatusCode(0), 0);
    EXPECT_EQ(narrowStatusCode(INT32_MIN), INT32_MIN);
    EXPECT_EQ(narrowStatusCode(INT32_MAX), INT32_MAX);
    EXPECT_LT(narrowStatusCode(-(int64_t{1} << 32)), 0);            // low half 0
    EXPECT_LT(narrowStatusCode(int64_t(0xFFFFFFFE00000001ull)), 0);  // low half 1
    EXPECT_GT(narrowStatusCode(int64_t{1} << 31), 0);                // low half negative
    EXPECT_GT(narrowStatusCode(int64_t{1} << 32), 0);
}

TEST(StatusFromPlatform, BringsFileLineAndComponent) {
    nQVAPALS100::tStatus platform;
    platform.setCode(-52006, "qv3377hal", "qvapal/device.cpp", 7);
    Status status;
    EXPECT_TRUE(status.mergeTStatus(platform));
    EXPECT_EQ(status.code, -52006);
    EXPECT_STREQ(status.jsonText(),
                 "{\"file\":\"qvapal/device.cpp\",\"line\":7,\"component\":\"qv3377hal\"}");
}

TEST(StatusFromPlatform, WideCodesStayErrors) {
    nQVAPALS100::tStatus platform;
    platform.code = -(int64_t{1} << 32);
    Status status;
    status.mergeTStatus(platform);
    EXPECT_LT(status.code, 0);

    nQVAPALS100::tStatus none;
    Status untouched;
    EXPECT_TRUE(untouched.mergeTStatus(none));
    EXPECT_EQ(untouched.code, 0);
    EXPECT_EQ(untouched.json, nullptr);
}

TEST(StatusFromPlatform, ShortRecordsBringTheCodeAlone) {
    nQVAPALS100::tStatus platform;
    platform.setCode(-52007, "qv3377hal", "file.cpp", 7);
    platform.structSize = 16;
    Status status;
    EXPECT_TRUE(status.mergeTStatus(platform));
    EXPECT_EQ(status.code, -52007);
    EXPECT_EQ(status.json, nullptr);
}

}  // namespace
