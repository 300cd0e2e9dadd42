#include <gtest/gtest.h>

#include <string>

#include "qvapal/status/tStatus.h"
#include "qverr/Codes.h"
#include "qverr/Status.h"
#include "qverr/json.h"

namespace {

using qverr::Status;

constexpr qverr::SourceLocation kInvalidParameter{"qverr/Status.cpp", 123, "qv3377hal",
                                                  "qvapalerr_invalidParameter"};
constexpr qverr::SourceLocation kNotFound{"qvapal/open.cpp", 9, "internal_sdi_hal23u",
                                          "qvapalerr_resourceNotFound"};
constexpr qverr::SourceLocation kNoComponent{"a.cpp", 5, nullptr, "fifoFindStatus"};

TEST(Status, RaiseWritesTheExactDetailAndTheFirstErrorSurvives) {
    Status status;
    EXPECT_FALSE(status.setCode(0, kInvalidParameter));
    EXPECT_EQ(status.json, nullptr);
    EXPECT_TRUE(status.setCode(3, kNoComponent));
    EXPECT_FALSE(status.setCode(4, kNotFound));
    EXPECT_STREQ(status.jsonText(),
                 "{\"error_constant\":\"fifoFindStatus\",\"file\":\"a.cpp\",\"line\":5}");
    bool complete = false;
    EXPECT_TRUE(status.setCode(qverr::qvapalerr_invalidParameter, kInvalidParameter, &complete));
    EXPECT_TRUE(complete);
    const std::string first =
        "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qverr/Status.cpp\","
        "\"line\":123,\"component\":\"qv3377hal\"}";
    EXPECT_EQ(status.jsonText(), first);

    Status later;
    later.setCode(qverr::qvapalerr_resourceNotFound, kNotFound);
    EXPECT_FALSE(status.setCode(qverr::qvapalerr_memoryFull, kNotFound));
    EXPECT_FALSE(status.setCode(17, kNotFound));
    EXPECT_FALSE(status.merge(later));
    EXPECT_FALSE(status.mergeMove(later));
    EXPECT_FALSE(status.setCodeOnly(-1));
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(status.jsonText(), first);
    EXPECT_NE(later.json, nullptr);  // a refused source keeps its buffer
}

TEST(Status, MergeCopiesOrHandsOverTheDetail) {
    Status source;
    source.setCode(qverr::qvapalerr_resourceNotFound, kNotFound);
    Status copy;
    EXPECT_TRUE(copy.merge(source));
    EXPECT_STREQ(copy.jsonText(), source.jsonText());
    EXPECT_NE(copy.json, source.json);

    char* buffer = source.json;
    Status moved;
    moved.setCode(4, kNoComponent);
    EXPECT_TRUE(moved.mergeMove(source));
    EXPECT_EQ(moved.json, buffer);
    EXPECT_EQ(source.json, nullptr);
    EXPECT_EQ(source.capacity, 0u);

    // A source without detail stores the code and resets the detail.
    Status bare;
    bare.code = -9;
    Status warned;
    warned.setCode(5, kNoComponent);
    EXPECT_TRUE(warned.merge(bare));
    EXPECT_EQ(warned.code, -9);
    EXPECT_STREQ(warned.jsonText(), "{}");
}

// A realloc of its own: a fixed buffer that never grows.
char gFixedBuffer[64];
bool fixedRealloc(Status& status, uint32_t size) {
    if (size == 0) {
        status.json = nullptr;
        status.capacity = 0;
    } else if (size > sizeof gFixedBuffer) {
        return false;
    } else if (!status.json) {
        qverr::json::initBuffer(gFixedBuffer, sizeof gFixedBuffer, "{}");
        status.json = gFixedBuffer;
        status.capacity = sizeof gFixedBuffer;
    }
    return true;
}

// Raises, merges and moves say whether the detail fit.
TEST(Status, ABufferThatCannotGrowEndsIncompleteWithoutLooping) {
    Status status;
    status.realloc = &fixedRealloc;
    bool complete = true;
    EXPECT_TRUE(status.setCode(qverr::qvapalerr_invalidParameter, kInvalidParameter, &complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    qverr::json::Token token;
    EXPECT_NE(qverr::json::parseValue(status.json, token), nullptr);

    Status large;
    const std::string longFile(100, 'f');
    large.setCode(qverr::qvapalerr_resourceNotFound,
                  {longFile.c_str(), 1, nullptr, "qvapalerr_resourceNotFound"});
    Status fixed;
    fixed.realloc = &fixedRealloc;
    EXPECT_TRUE(fixed.merge(large, &complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(fixed.code, qverr::qvapalerr_resourceNotFound);
    // Between different reallocs a move copies, and says so too.
    Status target;
    target.realloc = &fixedRealloc;
    complete = true;
    EXPECT_TRUE(target.mergeMove(large, &complete));
    EXPECT_FALSE(complete);
    EXPECT_NE(large.json, nullptr);

    Status small;
    small.setCode(qverr::qvapalerr_invalidParameter, kNoComponent);
    Status fresh;
    fresh.realloc = &fixedRealloc;
    EXPECT_TRUE(fresh.mergeMove(small, &complete));
    EXPECT_TRUE(complete);
    EXPECT_STREQ(fresh.jsonText(), small.jsonText());
    EXPECT_NE(small.json, nullptr);
}

TEST(Status, AssignCopiesCodeAndDetailWhateverTheyAre) {
    // Unlike a merge, an error is replaced by a warning.
    Status error;
    error.setCode(qverr::qvapalerr_invalidParameter, kInvalidParameter);
    Status warning;
    warning.setCode(7, kNoComponent);
    EXPECT_TRUE(error.assign(warning));
    EXPECT_EQ(error.code, 7);
    EXPECT_STREQ(error.jsonText(), warning.jsonText());
    EXPECT_NE(error.json, warning.json);

    // A source without detail releases the buffer; its code 0 is copied too.
    Status empty;
    EXPECT_TRUE(error.assign(empty));
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.json, nullptr);
    EXPECT_EQ(error.capacity, 0u);

    // A copy that cannot be made keeps the code and detail as they were.
    Status fixed;
    fixed.realloc = &fixedRealloc;
    fixed.setCode(qverr::qvapalerr_resourceNotFound, kNoComponent);
    const std::string before = fixed.jsonText();
    Status large;
    large.setCode(-1, {std::string(100, 'f').c_str(), 1, nullptr, "x"});
    EXPECT_FALSE(fixed.assign(large));
    EXPECT_EQ(fixed.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(fixed.jsonText(), before);
}

TEST(Status, DetailGrowsByDoublingUpToItsLimit) {
    Status status;
    status.setCode(-1, kNoComponent);
    char* cursor = status.getJsonInsertPoint(2);
    const std::string value(300, 'v');
    for (int i = 0; i < 7; ++i) cursor = status.addJsonString(cursor, "k", value.c_str());
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(status.capacity, 4096u);
    EXPECT_EQ(status.json[status.capacity - 1], 'J');
    EXPECT_FALSE(qverr::defaultJsonRealloc(status, 0x80000000u));
    EXPECT_EQ(status.getJsonInsertPoint(0x7FFFFFFE), nullptr);
}

TEST(Status, FromPlatformBringsFileLineAndComponentAndKeepsErrorsErrors) {
    nQVAPALS100::tStatus platform;
    platform.setCode(qverr::qvapalerr_resourceNotFound, "qv3377hal", "qvapal/device.cpp", 7);
    Status status;
    EXPECT_TRUE(status.mergeTStatus(platform));
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_STREQ(status.jsonText(),
                 "{\"file\":\"qvapal/device.cpp\",\"line\":7,\"component\":\"qv3377hal\"}");

    platform.structSize = 16;
    Status fromShort;
    fromShort.mergeTStatus(platform);
    EXPECT_EQ(fromShort.code, qverr::qvapalerr_resourceNotFound);
    EXPECT_EQ(fromShort.json, nullptr);

    // Narrowing never turns an error into success or a warning.
    platform.code = -(int64_t{1} << 32);  // low half 0
    Status wide;
    wide.mergeTStatus(platform);
    EXPECT_LT(wide.code, 0);
    EXPECT_LT(qverr::narrowStatusCode(int64_t(0xFFFFFFFE00000001ull)), 0);  // low half 1
    EXPECT_GT(qverr::narrowStatusCode(int64_t{1} << 31), 0);                // low half negative
    EXPECT_EQ(qverr::narrowStatusCode(INT32_MIN), INT32_MIN);
    EXPECT_EQ(qverr::narrowStatusCode(qverr::qvapalerr_invalidParameter),
              qverr::qvapalerr_invalidParameter);
}

}  // namespace
