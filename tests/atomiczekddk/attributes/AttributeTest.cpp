// Attributes through their public and owner views: coercion, authorship, the
// dirty flag, the setter hooks and what a refused value leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "atomiczekddk/attributes/Attribute.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/TempDir.h"

// Outside the anonymous namespace: GCC 12 at -O2 devirtualised calls on
// attributes of an enumeration local to this file into the wrong functions.
namespace attributetest {
enum class Colour : int32_t { Red = 1, Green = 2 };
}  // namespace attributetest

namespace {

using attributetest::Colour;

// Counts the hooks it runs; may refuse in the post hook.
struct CountingSetter : atat::Setter<unsigned int> {
    int preSets = 0, postSets = 0, preResets = 0, postResets = 0;
    bool refusePost = false;
    void preSet(iattr::AttributeInterface<unsigned int>&) override { ++preSets; }
    void preReset(iattr::AttributeInterface<unsigned int>&) override { ++preResets; }
    void postSet(iattr::AttributeInterface<unsigned int>&) override {
        ++postSets;
        if (refusePost) throw std::runtime_error("refused");
    }
    void postReset(iattr::AttributeInterface<unsigned int>&) override { ++postResets; }
};

// Doubles a value, refuses 0 with -52005 (a library exception).
struct DoublingRange : atat::Range<unsigned int> {
    unsigned int coerce(const unsigned int& value) override {
        if (value == 0)
            qverr::throwError(qverr::qvapalerr_invalidParameter, QVERR_LOCATION("test", "zero"));
        return value * 2;
    }
    bool areEqual(const unsigned int& a, const unsigned int& b) override { return a == b; }
};

using qvtest::thrownStatus;

TEST(Attribute, StartsAtItsDefaultAndCoercesEveryWrite) {
    DoublingRange range;
    CountingSetter setter;
    atat::Attribute<unsigned int> a(7, nullptr, true, 5, &range, nullptr, &setter);
    EXPECT_EQ(a.readDefault(), 5u);
    EXPECT_EQ(a.readDesired(), 5u);
    EXPECT_EQ(a.getValue(), 5u);  // the default is not passed through the range
    EXPECT_EQ(a.getAuthorship(), atat::kAuthorshipDefault);
    EXPECT_TRUE(a.isDirty());
    EXPECT_STREQ(a.getChannelName(), "");

    a.setDirty(false);
    a.setAPIValue(4);
    EXPECT_EQ(a.getAPIValue(), 8u);
    EXPECT_EQ(a.getAPIDesiredValue(), 4u);
    EXPECT_TRUE(a.isUserAuthored());
    EXPECT_TRUE(a.isDirty());

    // The same value by the same author: hooks run, nothing else changes.
    a.setDirty(false);
    a.setValue(4);
    EXPECT_EQ(setter.preSets, 2);
    EXPECT_EQ(setter.postSets, 2);
    EXPECT_FALSE(a.isDirty());

    // The same value by the owner is a change of author.
    a.writeDesired(4);
    EXPECT_TRUE(a.isInternallyAuthored());
    EXPECT_TRUE(a.isDirty());
    a.setDirty(false);
    a.setValue(4);
    EXPECT_TRUE(a.isUserAuthored());
    EXPECT_TRUE(a.isDirty());

    a.reset();
    EXPECT_EQ(a.getAuthorship(), atat::kAuthorshipDefault);
    EXPECT_EQ(a.readCoerced(), 10u);  // a reset coerces the default like any write
    EXPECT_EQ(setter.preResets, 1);
    EXPECT_EQ(setter.postResets, 1);
}

TEST(Attribute, ARefusedValueRollsBackAndMarksDirty) {
    DoublingRange range;
    CountingSetter setter;
    atat::Attribute<unsigned int> a(7, "Ch0", false, 5, &range, nullptr, &setter);
    a.setValue(3);
    a.setDirty(false);

    const auto [code, json] = thrownStatus([&] { a.setValue(0); });
    EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    EXPECT_NE(json.find(R"("usage":"kUsageTypeAttributeIdentifier","value":7)"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("usage":"kUsageTypeChannelName","value":"Ch0")"), std::string::npos)
        << json;
    EXPECT_EQ(a.readDesired(), 3u);
    EXPECT_EQ(a.readCoerced(), 6u);
    EXPECT_TRUE(a.isUserAuthored());
    EXPECT_TRUE(a.isDirty());

    // A post hook's failure rolls back the write it follows.
    setter.refusePost = true;
    a.setDirty(false);
    EXPECT_THROW(a.setValue(9), std::runtime_error);
    EXPECT_EQ(a.readDesired(), 3u);
    EXPECT_EQ(a.readCoerced(), 6u);
    EXPECT_TRUE(a.isDirty());
}

TEST(Attribute, EnumRangeRefusalNamesValueChoicesThenAttribute) {
    atat::EnumRange<Colour> range(5, qverr::qvapalerr_invalidParameter,
                                  {Colour::Green, Colour::Red});
    atat::Attribute<Colour> a(5, "ch1", false, Colour::Red, &range);
    iattr::PublicAPIAttributeInterface<int>& api = a;
    api.setAPIValue(2);
    EXPECT_EQ(api.getAPIValue(), 2);
    a.setDirty(false);

    const auto [code, json] = thrownStatus([&] { api.setAPIValue(3); });
    EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    const std::string requested =
        R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":3,"value_type":{"type":"enum","id":5,"value_type":"int32_t"}})";
    const std::string possible =
        R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[1,2],"value_type":{"type":"enum","id":5,"value_type":"int32_t"}})";
    size_t at = 0;
    for (const std::string& part :
         {requested, possible, std::string("kUsageTypeAttributeIdentifier"),
          std::string("kUsageTypeChannelName")}) {
        at = json.find(part, at);
        ASSERT_NE(at, std::string::npos) << part << " in order in " << json;
    }
    EXPECT_NE(json.find(R"("file":"atat/ranges/EnumRange")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("line":165)"), std::string::npos) << json;
    EXPECT_EQ(api.getAPIValue(), 2);
    EXPECT_TRUE(a.isDirty());
}

TEST(Attribute, HiddenValuesAreAcceptedButNeverOffered) {
    atat::EnumRange<int> range(9, qverr::qvapalerr_invalidParameter, {1, 2}, {7});
    EXPECT_EQ(range.coerce(7), 7);
    const std::string json = thrownStatus([&] { range.coerce(8); }).second;
    EXPECT_NE(json.find(R"("value":[1,2])"), std::string::npos) << json;
}

TEST(Attribute, NotSettableRefusesTheApiButNotTheOwner) {
    atat::NotSettable<unsigned long> readOnly(qvzek::kErrorNotSupported);
    atat::Attribute<unsigned long> a(8, nullptr, false, 0, nullptr, nullptr, &readOnly);
    const auto [code, json] = thrownStatus([&] { a.setValue(5); });
    EXPECT_EQ(code, qvzek::kErrorNotSupported);
    EXPECT_NE(json.find(R"("file":"atat/attributes/NotSettable")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("line":62)"), std::string::npos) << json;
    EXPECT_EQ(json.find("kUsageTypeChannelName"), std::string::npos) << json;
    EXPECT_EQ(a.readDesired(), 0u);
    EXPECT_FALSE(a.isDirty());  // refused before anything changed

    a.writeDesired(5);
    EXPECT_EQ(a.readCoerced(), 5u);
    a.reset();
    EXPECT_EQ(a.readCoerced(), 0u);

    atat::NotSettable<unsigned int> silent(0);  // a code of 0 still refuses
    atat::Attribute<unsigned int> b(1, nullptr, false, 0, nullptr, nullptr, &silent);
    EXPECT_EQ(thrownStatus([&] { b.setValue(1); }), std::make_pair(0, std::string()));
}

TEST(Attribute, GetterRefreshesThePublicReadOnly) {
    struct Live : atat::Getter<unsigned long> {
        unsigned long value = 0;
        void prepareGet(iattr::AttributeInterface<unsigned long>&) override {}
        void refresh(iattr::AttributeInterface<unsigned long>& a) override {
            a.writeCoerced(value);
        }
    } live;
    atat::Attribute<unsigned long> a(8, nullptr, false, 0, nullptr, &live);
    live.value = 42;
    EXPECT_EQ(a.readCoerced(), 0u);
    EXPECT_EQ(a.getValue(), 42u);
    EXPECT_EQ(a.readCoerced(), 42u);
}

}  // namespace
