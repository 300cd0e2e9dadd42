#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <system_error>

#include "DeviceListFixture.h"

namespace qvtest {

using DeviceListTest = DeviceListFixture;

TEST_F(DeviceListTest, IsEmptyUntilTheFirstRefreshAndAsksSinceMinusOne) {
    EXPECT_EQ(list.getInterfaceVersion(), 0u);
    manager.devices = {module("1")};
    EXPECT_EQ(list.getDeviceCount(), 0u);
    EXPECT_EQ(list.getDevice(0, 0, status), nullptr);
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(fileOf(status), "atomiczekddk/user/devicelist/DeviceList");

    EXPECT_TRUE(list.hasChanged());
    EXPECT_EQ(manager.askedSince, std::vector<int64_t>{-1});
}

TEST_F(DeviceListTest, RefreshBuildsOneDevicePerModuleInTheManagersOrder) {
    present({"3", "1", "2"}, 5);
    ASSERT_EQ(list.getDeviceCount(), 3u);
    EXPECT_STREQ(device(0).getPersistentToken(0), "3");
    EXPECT_STREQ(device(2).getDefaultName(), "PXI1Slot2");
    EXPECT_FALSE(list.hasChanged());
    EXPECT_EQ(manager.askedSince.back(), 5);

    EXPECT_EQ(list.getDevice(3, 0, status), nullptr);
    EXPECT_EQ(status.code, -52005);

    // A refresh replaces the whole set.
    present({"4"}, 6);
    ASSERT_EQ(list.getDeviceCount(), 1u);
    EXPECT_STREQ(device(0).getPersistentToken(0), "4");
}

TEST_F(DeviceListTest, NonZeroFlagsAreRefusedEvenForAValidIndex) {
    present({"1"}, 1);
    for (int32_t flags : {1, -1, 0x100}) {
        nQVAPALS100::tStatus each;
        EXPECT_EQ(list.getDevice(0, flags, each), nullptr) << flags;
        EXPECT_EQ(each.code, -63193) << flags;
    }
    // The index is not looked at once the flags are refused.
    EXPECT_EQ(list.getDevice(9, 1, status), nullptr);
    EXPECT_EQ(status.code, -63193);
}

TEST_F(DeviceListTest, AFailingRefreshEmptiesTheListAndKeepsTheOldChangeNumber) {
    present({"1", "2"}, 3);
    manager.changeNumber = 4;
    manager.enumerationFailure = [] { throw std::bad_alloc(); };
    list.refresh(status);
    EXPECT_EQ(status.code, -52000);
    EXPECT_EQ(fileOf(status), "atomiczekddk/user/devicelist/DeviceList");
    EXPECT_EQ(list.getDeviceCount(), 0u);
    EXPECT_TRUE(list.hasChanged());
    EXPECT_EQ(manager.askedSince.back(), 3);

    // The library's exceptions keep their own code.
    manager.enumerationFailure = [] { qvzek::throwStatusCode(-52006); };
    nQVAPALS100::tStatus again;
    list.refresh(again);
    EXPECT_EQ(again.code, -52006);

    manager.enumerationFailure = nullptr;
    present({"1"}, 4);
    EXPECT_FALSE(list.hasChanged());
}

TEST_F(DeviceListTest, ACallbackReachesBothManagersAndLeavesThemOnUnregister) {
    CountingCallback first, second, stranger;
    list.registerChangeCallback(&first, status);
    list.registerChangeCallback(&second, status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(manager.handlers, (Handlers{&first, &second}));
    EXPECT_EQ(aliases.handlers, (Handlers{&first, &second}));

    list.unregisterChangeCallback(&stranger);
    list.unregisterChangeCallback(nullptr);
    EXPECT_EQ(manager.handlers, (Handlers{&first, &second}));
    EXPECT_EQ(aliases.handlers, (Handlers{&first, &second}));

    list.unregisterChangeCallback(&first);
    EXPECT_EQ(manager.handlers, Handlers{&second});
    EXPECT_EQ(aliases.handlers, Handlers{&second});

    list.registerChangeCallback(nullptr, status);
    EXPECT_EQ(status.code, -52005);
    // Nothing is registered over an error already held.
    list.registerChangeCallback(&first, status);
    EXPECT_EQ(manager.handlers, Handlers{&second});
}

TEST_F(DeviceListTest, AFailedRegistrationRollsBack) {
    CountingCallback callback;
    aliases.registrationFailure = [] { throw std::system_error(std::make_error_code(std::errc::io_error)); };
    list.registerChangeCallback(&callback, status);
    EXPECT_EQ(status.code, -52008);
    EXPECT_TRUE(manager.handlers.empty());

    // The alias manager is not asked after the device manager failed.
    aliases.registrationFailure = nullptr;
    manager.registrationFailure = [] { throw std::invalid_argument("full"); };
    nQVAPALS100::tStatus again;
    list.registerChangeCallback(&callback, again);
    EXPECT_EQ(again.code, -52005);
    EXPECT_TRUE(manager.handlers.empty());
    EXPECT_TRUE(aliases.handlers.empty());

    // Unregistration swallows what fails.
    list.unregisterChangeCallback(&callback);
}

TEST_F(DeviceListTest, ResolveFoldsTheCaseOfAsciiLettersOnly) {
    qvzek::IDeviceResolver& resolver = list.resolver();
    EXPECT_EQ(resolver.resolve("Model=QV PXIe-3377;Chassis=1;Slot=2"), nullptr);

    // "É" and "é" in UTF-8.
    present({"Model=QV PXIe-3377;Chassis=1;Slot=2", "Model=\xC3\x89;PCISlotPath=0/1"}, 1);
    EXPECT_EQ(resolver.resolve("model=qv pxie-3377;chassis=1;slot=2"), &device(0));
    EXPECT_EQ(resolver.resolve("MODEL=QV PXIE-3377;CHASSIS=1;SLOT=2"), &device(0));
    EXPECT_EQ(resolver.resolve("MODEL=\xC3\x89;pcislotpath=0/1"), &device(1));
    EXPECT_EQ(resolver.resolve("Model=\xC3\xA9;PCISlotPath=0/1"), nullptr);
    EXPECT_EQ(resolver.resolve("Model=QV PXIe-3377;Chassis=1;Slot="), nullptr);
    EXPECT_EQ(resolver.resolve(""), nullptr);
    EXPECT_EQ(resolver.resolve(nullptr), nullptr);
}

}  // namespace qvtest
