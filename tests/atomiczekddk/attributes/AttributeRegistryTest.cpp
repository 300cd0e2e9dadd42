// Finding attributes by id and case-folded channel name, typed look-ups,
// and the registry-wide dirty flag.
#include <gtest/gtest.h>

#include <string>

#include "atomiczekddk/attributes/Attribute.h"
#include "atomiczekddk/attributes/AttributeRegistry.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/TempDir.h"

namespace attributetest {
enum class Mode : int32_t { A = 1, B = 2 };  // see AttributeTest.cpp
}  // namespace attributetest

namespace {

using attributetest::Mode;

struct Registry : ::testing::Test {
    atat::AttributeRegistry registry{qvzek::kErrorAttributeNotServed,
                                     qvzek::kErrorPropertyWrongType,
                                     qverr::qvapalerr_softwareFaultAPALInternalUseOnly};
    atat::Attribute<unsigned int> u32{1, nullptr, false, 4};
    atat::Attribute<unsigned long> u64{3, "Ch0", false, 16384};
    atat::Attribute<unsigned long> other{3, "Ch1", false, 7};
    atat::Attribute<Mode> mode{5, nullptr, false, Mode::A};
    atat::Attribute<void*> pointer{6, nullptr, false, nullptr};

    void SetUp() override {
        // Out of key order on purpose.
        registry.add(&mode);
        registry.add(&other);
        registry.add(&pointer);
        registry.add(&u64);
        registry.add(&u32);
    }

    template <class F>
    static std::string failure(F f, int32_t expectedCode) {
        const auto thrown = qvtest::thrownStatus(f);
        EXPECT_EQ(thrown.first, expectedCode);
        return thrown.second;
    }
};

TEST_F(Registry, FindsByIdAndCaseFoldedChannel) {
    EXPECT_EQ(registry.find(3, "ch0"), static_cast<iattr::AttributeBaseInterface*>(&u64));
    EXPECT_EQ(registry.find(3, "CH1"), static_cast<iattr::AttributeBaseInterface*>(&other));
    EXPECT_EQ(registry.find(1, nullptr), static_cast<iattr::AttributeBaseInterface*>(&u32));
    EXPECT_EQ(registry.find(1, ""), static_cast<iattr::AttributeBaseInterface*>(&u32));

    registry.getAs<unsigned long>(3, "cH0").setAPIValue(99);
    EXPECT_EQ(u64.readDesired(), 99u);
    registry.getAs<int>(5, nullptr).setAPIValue(2);
    EXPECT_EQ(mode.readCoerced(), Mode::B);
    EXPECT_EQ(registry.getAs<void*>(6, nullptr).getAPIValue(), nullptr);
}

TEST_F(Registry, ASecondAddOfOneKeyIsRefusedWithAComment) {
    atat::Attribute<unsigned long> twin(3, "CH0", false, 0);
    const std::string json =
        failure([&] { registry.add(&twin); }, qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_NE(json.find(R"("error_constant":"errorInternalError")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("line":37)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("value":"CH0")"), std::string::npos) << json;
    EXPECT_NE(
        json.find(
            R"({"type":"comment","comment":"The attribute id was already added to the attribute registry."})"),
        std::string::npos)
        << json;
    EXPECT_EQ(registry.find(3, "ch0"), static_cast<iattr::AttributeBaseInterface*>(&u64));
}

TEST_F(Registry, MissesAndWrongTypesRaiseTheirOwnCodes) {
    std::string json = failure([&] { registry.find(3, "Ch2"); }, qvzek::kErrorAttributeNotServed);
    EXPECT_NE(json.find(R"("line":78)"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("usage":"kUsageTypeAttributeIdentifier","value":3)"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("value":"Ch2")"), std::string::npos) << json;

    json = failure([&] { registry.find(4, nullptr); }, qvzek::kErrorAttributeNotServed);
    EXPECT_EQ(json.find("kUsageTypeChannelName"), std::string::npos) << json;

    json =
        failure([&] { registry.getAs<unsigned long>(1, nullptr); }, qvzek::kErrorPropertyWrongType);
    EXPECT_NE(json.find(R"("error_constant":"errorWrongAttributeType")"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("line":114)"), std::string::npos) << json;
    failure([&] { registry.getAs<unsigned int>(5, nullptr); },
            qvzek::kErrorPropertyWrongType);  // enumerations are int
    failure([&] { registry.getAs<long>(9, nullptr); }, qvzek::kErrorAttributeNotServed);

    atat::AttributeRegistry silent(0, 0, 0);
    EXPECT_EQ(failure([&] { silent.find(1, nullptr); }, 0), "");
}

TEST_F(Registry, DirtyIsAskedOfAndWrittenToEveryAttribute) {
    EXPECT_FALSE(atat::AttributeRegistry(1, 2, 3).isDirty());
    EXPECT_FALSE(registry.isDirty());
    other.setValue(8);
    EXPECT_TRUE(registry.isDirty());
    registry.setDirty(true);
    EXPECT_TRUE(u32.isDirty() && mode.isDirty() && pointer.isDirty());
    registry.setDirty(false);
    EXPECT_FALSE(registry.isDirty());
}

}  // namespace
