#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "qverr/Codes.h"
#include "qvjsonlh/cJSONUtils.h"
#include "support/TempDir.h"

namespace {

using qvjsonlh::AutoCJSON;
using qvtest::thrownStatus;
using ::testing::HasSubstr;

TEST(CheckedJsonAccessors, FailuresCarryTheirCodeAndConstant) {
    for (const char* text : {"", "{", "[1,]"}) {
        const auto [code, detail] = thrownStatus([&] { AutoCJSON tree(qvjsonlh::parse(text)); });
        EXPECT_EQ(code, qverr::qvapalerr_invalidParameter) << text;
        EXPECT_THAT(detail, HasSubstr("\"error_constant\":\"jsonErrorsInvalidJSON\""));
    }
    AutoCJSON tree(qvjsonlh::parse(R"({"version":1,"list":[1],"flag":false})"));
    EXPECT_EQ(qvjsonlh::getObjectItem(tree.get(), "VERSION")->valuedouble, 1);
    const cJSON* list = qvjsonlh::getObjectItem(tree.get(), "list");
    EXPECT_THAT(thrownStatus([&] { qvjsonlh::getObjectItem(list, "x"); }),
                ::testing::Pair(qverr::kStatusFailedCast, HasSubstr("jsonErrorsNotAnObject")));
    EXPECT_THAT(thrownStatus([&] { qvjsonlh::getObjectItem(tree.get(), "absent"); }),
                ::testing::Pair(qverr::qvapalerr_resourceNotFound,
                                HasSubstr("jsonErrorsObjectItemNotFound")));
    EXPECT_FALSE(qvjsonlh::getBool(qvjsonlh::getObjectItem(tree.get(), "flag")));
    EXPECT_THAT(
        thrownStatus([&] { qvjsonlh::getBool(qvjsonlh::getObjectItem(tree.get(), "version")); }),
        ::testing::Pair(qverr::kStatusFailedCast, HasSubstr("jsonErrorsTypeMismatch")));
}

bool equalTexts(const char* a, const char* b) {
    AutoCJSON first(qvjsonlh::parse(a));
    AutoCJSON second(qvjsonlh::parse(b));
    return qvjsonlh::equals(first.get(), second.get());
}

TEST(CheckedJsonAccessors, EqualityIgnoresMemberOrderAndNameCase) {
    EXPECT_TRUE(equalTexts(R"({"a":1,"B":{"c":[true,null]}})", R"({"b":{"c":[true,null]},"a":1})"));
    EXPECT_FALSE(equalTexts("[1,2]", "[1,2,3]"));
    EXPECT_FALSE(equalTexts("null", "false"));
    EXPECT_FALSE(equalTexts(R"({"a":1})", R"({"a":1,"b":2})"));
    EXPECT_FALSE(equalTexts(R"({"a":"x"})", R"({"a":"X"})"));
    AutoCJSON nan1(cJSON_CreateNumber(std::nan("")));
    AutoCJSON nan2(cJSON_CreateNumber(std::nan("")));
    EXPECT_FALSE(qvjsonlh::equals(nan1.get(), nan2.get()));
    // Device tokens may differ only in letter case; each member is compared
    // with the member of its own name, or a changed one goes unnoticed.
    EXPECT_FALSE(equalTexts(R"({"tok":1,"TOK":2})", R"({"tok":1,"TOK":1})"));
    EXPECT_TRUE(equalTexts(R"({"tok":1,"TOK":2})", R"({"TOK":2,"tok":1})"));
}

TEST(CheckedJsonAccessors, ARepeatedNameIsComparedOccurrenceByOccurrence) {
    const char* twice = R"({"alias":"a","x":0,"alias":"b"})";
    EXPECT_TRUE(equalTexts(twice, twice));
    EXPECT_TRUE(equalTexts(twice, R"({"alias":"a","alias":"b","x":0})"));
    EXPECT_FALSE(equalTexts(twice, R"({"alias":"b","x":0,"alias":"a"})"));
    EXPECT_FALSE(equalTexts(R"({"alias":"a","alias":"a"})", R"({"alias":"a","alias":"b"})"));
    EXPECT_FALSE(equalTexts(R"({"alias":"a","alias":"a"})", R"({"alias":"a","other":"a"})"));
    // Occurrences left over after the exact names pair without regard to case.
    EXPECT_TRUE(equalTexts(R"({"k":1,"k":2,"K":3})", R"({"K":3,"k":1,"k":2})"));
    EXPECT_TRUE(equalTexts(R"({"k":1,"k":2})", R"({"K":1,"K":2})"));
    EXPECT_FALSE(equalTexts(R"({"k":1,"k":2})", R"({"K":2,"K":1})"));
}

// A cJSON allocator that fails on request, to make a name copy fail.
bool failAllocations = false;
void* failingMalloc(size_t size) {
    return failAllocations ? nullptr : malloc(size);
}

TEST(CheckedJsonAccessors, AnItemThatCannotBeLinkedIsFreed) {
    AutoCJSON object(qvjsonlh::createObject());
    cJSON* item = qvjsonlh::createString("value");
    cJSON_Hooks hooks{&failingMalloc, &free};
    cJSON_InitHooks(&hooks);
    failAllocations = true;
    // The leak checker reports the item if it is left unlinked.
    EXPECT_THROW(qvjsonlh::addItemToObject(object.get(), "name", item), std::bad_alloc);
    failAllocations = false;
    cJSON_InitHooks(nullptr);
    EXPECT_EQ(cJSON_GetArraySize(object.get()), 0);
}

}  // namespace
