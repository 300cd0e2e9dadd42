#include "qvjsonlh/cJSONUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "support/TempDir.h"

namespace {

using qvjsonlh::AutoCJSON;
using ::testing::HasSubstr;

using qvtest::thrownStatus;

TEST(CheckedJsonAccessors, ParseRejectsTextThatIsNotJson) {
    for (const char* text : {"", "{", "{\"a\":}", "[1,]"}) {
        const auto [code, detail] = thrownStatus([&] { AutoCJSON tree(qvjsonlh::parse(text)); });
        EXPECT_EQ(code, -52005) << text;
        EXPECT_THAT(detail, HasSubstr("\"error_constant\":\"jsonErrorsInvalidJSON\""));
        EXPECT_THAT(detail, HasSubstr("\"component\":\"internal_sdi_hal23u\""));
    }
    EXPECT_EQ(thrownStatus([] { qvjsonlh::parse(nullptr); }).first, -52005);
}

TEST(CheckedJsonAccessors, MemberLookupIgnoresLetterCaseAndChecksTypes) {
    AutoCJSON tree(qvjsonlh::parse(R"({"version":1,"list":[1],"flag":false,"text":"t"})"));
    EXPECT_EQ(qvjsonlh::getObjectItem(tree.get(), "VERSION")->valuedouble, 1);

    const cJSON* list = qvjsonlh::getObjectItem(tree.get(), "list");
    auto [code, detail] = thrownStatus([&] { qvjsonlh::getObjectItem(list, "x"); });
    EXPECT_EQ(code, -52004);
    EXPECT_THAT(detail, HasSubstr("jsonErrorsNotAnObject"));
    std::tie(code, detail) = thrownStatus([&] { qvjsonlh::getObjectItem(tree.get(), "absent"); });
    EXPECT_EQ(code, -52006);
    EXPECT_THAT(detail, HasSubstr("jsonErrorsObjectItemNotFound"));
    EXPECT_EQ(thrownStatus([&] { qvjsonlh::checkArray(tree.get()); }).first, -52004);

    EXPECT_FALSE(qvjsonlh::getBool(qvjsonlh::getObjectItem(tree.get(), "flag")));
    std::tie(code, detail) = thrownStatus([&] {
        qvjsonlh::getBool(qvjsonlh::getObjectItem(tree.get(), "version"));
    });
    EXPECT_EQ(code, -52004);
    EXPECT_THAT(detail, HasSubstr("jsonErrorsTypeMismatch"));
    EXPECT_EQ(qvjsonlh::getString(qvjsonlh::getObjectItem(tree.get(), "text")), "t");
    EXPECT_EQ(thrownStatus([&] { qvjsonlh::getCString(list); }).first, -52004);
}

bool equalTexts(const char* a, const char* b) {
    AutoCJSON first(qvjsonlh::parse(a));
    AutoCJSON second(qvjsonlh::parse(b));
    return qvjsonlh::equals(first.get(), second.get());
}

TEST(CheckedJsonAccessors, EqualityIgnoresMemberOrderAndNameCase) {
    EXPECT_TRUE(equalTexts(R"({"a":1,"B":{"c":[true,null]}})", R"({"b":{"c":[true,null]},"a":1})"));
    EXPECT_FALSE(equalTexts("[1,2]", "[1,2,3]"));
    EXPECT_FALSE(equalTexts("[1,2,3]", "[1,2]"));
    EXPECT_FALSE(equalTexts("null", "false"));
    EXPECT_FALSE(equalTexts(R"({"a":1})", R"({"a":1,"b":2})"));
    EXPECT_FALSE(equalTexts(R"({"a":"x"})", R"({"a":"X"})"));
    EXPECT_FALSE(equalTexts(R"({"a":1})", R"({"a":"1"})"));

    AutoCJSON nan1(cJSON_CreateNumber(std::nan("")));
    AutoCJSON nan2(cJSON_CreateNumber(std::nan("")));
    EXPECT_FALSE(qvjsonlh::equals(nan1.get(), nan2.get()));
    // A raw item or a reference is never equal to anything but itself.
    AutoCJSON raw1(cJSON_CreateRaw("1"));
    AutoCJSON raw2(cJSON_CreateRaw("1"));
    EXPECT_FALSE(qvjsonlh::equals(raw1.get(), raw2.get()));
    EXPECT_TRUE(qvjsonlh::equals(raw1.get(), raw1.get()));
}

TEST(CheckedJsonAccessors, CaseVariantMembersAreComparedWithTheirOwnCounterparts) {
    // Device tokens may differ only in letter case; each must be compared
    // with the member of its own name, or a changed one goes unnoticed.
    EXPECT_FALSE(equalTexts(R"({"tok":1,"TOK":2})", R"({"tok":1,"TOK":1})"));
    EXPECT_TRUE(equalTexts(R"({"tok":1,"TOK":2})", R"({"TOK":2,"tok":1})"));
}

// A cJSON allocator that fails on request, to make a name copy fail.
bool failAllocations = false;
void* failingMalloc(size_t size) { return failAllocations ? nullptr : malloc(size); }

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

    cJSON* other = qvjsonlh::createString("value");
    EXPECT_EQ(thrownStatus([&] { qvjsonlh::addItemToObject(nullptr, "name", other); }).first,
              -52004);
}

}  // namespace
