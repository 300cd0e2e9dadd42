#include <gtest/gtest.h>

#include <new>

#include "DeviceListFixture.h"
#include "atomiczekddk/shared/Errors.h"

namespace qvtest {

class DeviceTest : public DeviceListFixture {
protected:
    void SetUp() override { present({"1", "2"}, 1); }
};

TEST_F(DeviceTest, TheAttributeIsCachedOnlyFromAReadOrAWriteTheDriverTook) {
    factory.failure = [] { throw std::bad_alloc(); };
    EXPECT_EQ(device(0).getDeviceAttribute(), 0xFFFFFFFFu);
    factory.failure = nullptr;
    EXPECT_EQ(device(0).getDeviceAttribute(), 7u);
    factory.attribute->value = 8;
    EXPECT_EQ(device(0).getDeviceAttribute(), 7u);
    EXPECT_EQ(factory.attribute->reads, 1);

    factory.attribute->refuseWrites = true;
    device(1).setDeviceAttribute(9, status);
    EXPECT_EQ(status.code, qvzek::kErrorAttributeNotServed);
    EXPECT_EQ(device(1).getDeviceAttribute(), 8u);

    factory.attribute->refuseWrites = false;
    nQVAPALS100::tStatus written;
    device(0).setDeviceAttribute(11, written);
    EXPECT_EQ(written.code, 0);
    EXPECT_EQ(factory.attribute->value, 11u);
    factory.attribute->value = 12;
    EXPECT_EQ(device(0).getDeviceAttribute(), 11u);

    device(0).setDeviceAttribute(13, status);  // over the error: nothing
    EXPECT_EQ(factory.attribute->value, 12u);
}

TEST_F(DeviceTest, AnAliasHeldByAnotherDeviceMovesOnlyInMode1) {
    aliases.aliases["Token2"] = "bench";
    qvzek::IDevice* previous = &device(0);
    for (uint32_t mode : {0u, 2u}) {
        nQVAPALS100::tStatus each;
        device(0).setAlias("bench", mode, &previous, each);
        EXPECT_EQ(each.code, -52013) << mode;
        EXPECT_STREQ(each.file, "atomiczekddk/user/Device");
        EXPECT_EQ(previous, &device(1));
        EXPECT_STREQ(device(0).getAlias(), "");
    }

    previous = nullptr;
    aliases.ownerSpelling = [](const std::string&) { return std::string("TOKEN2"); };
    device(0).setAlias("bench", 1, &previous, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(previous, &device(1));
    EXPECT_STREQ(device(0).getAlias(), "bench");
    EXPECT_STREQ(device(1).getAlias(), "");

    device(1).setAlias("rack", 0, &previous, status);
    EXPECT_EQ(previous, nullptr);
    EXPECT_STREQ(device(1).getAlias(), "rack");

    device(1).setAlias(nullptr, 1, &previous, status);
    EXPECT_EQ(status.code, -52005);
    device(1).setAlias("desk", 0, &previous, status);  // over the error: nothing
    EXPECT_STREQ(device(1).getAlias(), "rack");
}

TEST_F(DeviceTest, WithoutAliasSupportTheAliasIsNull) {
    aliases.aliases["Token1"] = "bench";
    EXPECT_STREQ(device(0).getAlias(), "bench");
    aliases.failure = [] { qvzek::throwStatusCode(-52006); };
    EXPECT_STREQ(device(0).getAlias(), "bench");
    aliases.failure = [] { qvzek::throwStatusCode(qvzek::kErrorNotSupported); };
    EXPECT_EQ(device(0).getAlias(), nullptr);
}

}  // namespace qvtest
