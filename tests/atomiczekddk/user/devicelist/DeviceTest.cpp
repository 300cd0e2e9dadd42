#include <gtest/gtest.h>

#include <new>

#include "DeviceListFixture.h"
#include "atomiczekddk/user/facade/IFpgaSession.h"

namespace qvtest {

class DeviceTest : public DeviceListFixture {
protected:
    void SetUp() override { present({"Model=QV PXIe-3377;Chassis=1;Slot=2", "Model=QV PXIe-3377;Chassis=1;Slot=3"}, 1); }
    qvzek::IDevice& first() { return device(0); }
    qvzek::IDevice& second() { return device(1); }
};

TEST_F(DeviceTest, HandsOutTheEntrysNames) {
    EXPECT_EQ(first().getInterfaceVersion(), 0u);
    EXPECT_STREQ(first().getPersistentToken(0), "Model=QV PXIe-3377;Chassis=1;Slot=2");
    EXPECT_STREQ(first().getDefaultName(), "PXI1SlotModel=QV PXIe-3377;Chassis=1;Slot=2");
    EXPECT_EQ(first().getEntryValue(), reinterpret_cast<uintptr_t>(kInterfaceName));
    EXPECT_EQ(first().getFixedFlag(), 1u);
}

TEST_F(DeviceTest, TheAttributeIsReadOnceThroughATraditionalSession) {
    EXPECT_EQ(first().getDeviceAttribute(), 7u);
    factory.attribute->value = 8;
    EXPECT_EQ(first().getDeviceAttribute(), 7u);
    EXPECT_EQ(factory.attribute->reads, 1);
    ASSERT_EQ(factory.asked.size(), 1u);
    EXPECT_EQ(factory.asked[0], manager.devices[0]);
}

TEST_F(DeviceTest, AnUnreadableAttributeIsUnknownAndAskedForAgain) {
    factory.failure = [] { throw std::bad_alloc(); };
    EXPECT_EQ(first().getDeviceAttribute(), 0xFFFFFFFFu);
    factory.failure = nullptr;
    EXPECT_EQ(first().getDeviceAttribute(), 7u);
}

TEST_F(DeviceTest, OnlyAWriteTheDriverTookIsCached) {
    factory.attribute->refuseWrites = true;
    first().setDeviceAttribute(9, status);
    EXPECT_EQ(status.code, -63196);
    // The driver still holds its own value, and the device says so.
    EXPECT_EQ(first().getDeviceAttribute(), 7u);
    EXPECT_EQ(factory.attribute->reads, 1);

    factory.attribute->refuseWrites = false;
    nQVAPALS100::tStatus written;
    second().setDeviceAttribute(11, written);
    EXPECT_EQ(written.code, 0);
    EXPECT_EQ(factory.attribute->value, 11u);
    EXPECT_EQ(second().getDeviceAttribute(), 11u);
    EXPECT_EQ(factory.attribute->reads, 1);

    // A session that cannot be made: its failure, nothing cached.
    factory.failure = [] { qvzek::throwStatusCode(-52006); };
    nQVAPALS100::tStatus unmade;
    first().setDeviceAttribute(12, unmade);
    EXPECT_EQ(unmade.code, -52006);
    EXPECT_EQ(first().getDeviceAttribute(), 7u);

    // Nothing is written over an error already held.
    factory.failure = nullptr;
    second().setDeviceAttribute(13, unmade);
    EXPECT_EQ(factory.attribute->value, 11u);
}

TEST_F(DeviceTest, MovingAnAliasNamesTheDeviceThatHeldIt) {
    aliases.aliases[second().getPersistentToken(0)] = "bench";
    qvzek::IDevice* previous = &first();
    first().setAlias("bench", 1, &previous, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(previous, &second());
    EXPECT_STREQ(first().getAlias(), "bench");
    EXPECT_STREQ(second().getAlias(), "");

    // The holder's token as the storage spells it.
    aliases.ownerSpelling = [](const std::string&) { return std::string("model=qv pxie-3377;chassis=1;SLOT=2"); };
    second().setAlias("bench", 1, &previous, status);
    EXPECT_EQ(previous, &first());

    // Without a holder there is no previous owner.
    second().setAlias("rack", 1, &previous, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(previous, nullptr);
    EXPECT_STREQ(second().getAlias(), "rack");
}

TEST_F(DeviceTest, AnAliasHeldElsewhereStaysThereInOtherModes) {
    aliases.aliases[second().getPersistentToken(0)] = "bench";
    for (uint32_t mode : {0u, 2u}) {
        nQVAPALS100::tStatus each;
        qvzek::IDevice* previous = nullptr;
        first().setAlias("bench", mode, &previous, each);
        EXPECT_EQ(each.code, -52013) << mode;
        EXPECT_EQ(fileOf(each), "atomiczekddk/user/Device");
        EXPECT_EQ(previous, &second()) << mode;
        EXPECT_STREQ(first().getAlias(), "") << mode;
        EXPECT_STREQ(second().getAlias(), "bench") << mode;
    }
    // The previous owner is optional.
    first().setAlias("bench", 0, nullptr, status);
    EXPECT_EQ(status.code, -52013);
}

TEST_F(DeviceTest, ANullAliasIsRefused) {
    qvzek::IDevice* previous = &second();
    first().setAlias(nullptr, 1, &previous, status);
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(previous, nullptr);
}

TEST_F(DeviceTest, AliasesNotOfferedReadAsNull) {
    aliases.aliases[first().getPersistentToken(0)] = "bench";
    EXPECT_STREQ(first().getAlias(), "bench");
    // Another failure leaves the alias last read.
    aliases.failure = [] { qvzek::throwStatusCode(-52006); };
    EXPECT_STREQ(first().getAlias(), "bench");
    aliases.failure = [] { qvzek::throwStatusCode(-63193); };
    EXPECT_EQ(first().getAlias(), nullptr);

    qvzek::IDevice* previous = &second();
    first().setAlias("rack", 1, &previous, status);
    EXPECT_EQ(status.code, -63193);
    EXPECT_EQ(previous, nullptr);
}

TEST_F(DeviceTest, FpgaSessionsOfVersionsZeroToFive) {
    for (uint32_t version = 0; version <= 5; ++version) {
        nQVAPALS100::tStatus each;
        qvzek::IFpgaSession* session = first().openFpgaSession(version, each);
        ASSERT_NE(session, nullptr) << version;
        EXPECT_EQ(each.code, 0);
        EXPECT_EQ(session->getInterfaceVersion(), 5u);
        session->release();
    }
    EXPECT_EQ(first().openFpgaSession(6, status), nullptr);
    EXPECT_EQ(status.code, -63193);
    // Nothing is opened over an error already held.
    EXPECT_EQ(first().openFpgaSession(0, status), nullptr);
}

TEST_F(DeviceTest, AnFpgaSessionKeepsItsModuleAfterTheListMovedOn) {
    qvzek::IFpgaSession* session = first().openFpgaSession(5, status);
    ASSERT_NE(session, nullptr);
    const std::weak_ptr<const qvzek::DeviceInfo> entry = manager.devices[0];
    present({}, 2);
    manager.devices.clear();
    EXPECT_FALSE(entry.expired());
    session->release();
    EXPECT_TRUE(entry.expired());
}

}  // namespace qvtest
