#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <system_error>

#include "DeviceListFixture.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"

namespace qvtest {

using DeviceListTest = DeviceListFixture;

TEST_F(DeviceListTest, IsEmptyUntilRefreshedAndThenHoldsTheManagersModulesInOrder) {
    manager.devices = {module("1")};
    EXPECT_EQ(list.getDeviceCount(), 0u);
    EXPECT_EQ(list.getDevice(0, 0, status), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_STREQ(status.file, "atomiczekddk/user/devicelist/DeviceList");
    EXPECT_TRUE(list.hasChanged());
    EXPECT_EQ(manager.askedSince, std::vector<int64_t>{-1});

    present({"3", "1", "2"}, 5);
    ASSERT_EQ(list.getDeviceCount(), 3u);
    EXPECT_STREQ(device(0).getPersistentToken(0), "Token3");
    EXPECT_STREQ(device(2).getDefaultName(), "PXI1Slot2");
    EXPECT_FALSE(list.hasChanged());
    EXPECT_EQ(manager.askedSince.back(), 5);
    nQVAPALS100::tStatus beyond;
    EXPECT_EQ(list.getDevice(3, 0, beyond), nullptr);
    EXPECT_EQ(beyond.code, qverr::qvapalerr_invalidParameter);
}

TEST_F(DeviceListTest, NonZeroFlagsAreRefusedEvenForAValidIndex) {
    present({"1"}, 1);
    for (int32_t flags : {1, -1}) {
        nQVAPALS100::tStatus each;
        EXPECT_EQ(list.getDevice(0, flags, each), nullptr);
        EXPECT_EQ(each.code, qvzek::kErrorNotSupported) << flags;
    }
}

TEST_F(DeviceListTest, AFailingRefreshEmptiesTheListAndKeepsTheOldChangeNumber) {
    present({"1", "2"}, 3);
    manager.changeNumber = 4;
    manager.enumerationFailure = [] { throw std::bad_alloc(); };
    list.refresh(status);
    EXPECT_EQ(status.code, qverr::qvapalerr_memoryFull);
    EXPECT_EQ(list.getDeviceCount(), 0u);
    EXPECT_TRUE(list.hasChanged());
    EXPECT_EQ(manager.askedSince.back(), 3);

    manager.enumerationFailure = [] { qvzek::throwStatusCode(-52006); };
    nQVAPALS100::tStatus again;
    list.refresh(again);
    EXPECT_EQ(again.code, qverr::qvapalerr_resourceNotFound);
}

TEST_F(DeviceListTest, CallbacksReachBothManagersUntilUnregistered) {
    Callback first, second, stranger;
    list.registerChangeCallback(&first, status);
    list.registerChangeCallback(&second, status);
    EXPECT_EQ(status.code, 0);
    list.unregisterChangeCallback(&stranger);
    list.unregisterChangeCallback(nullptr);
    EXPECT_EQ(manager.handlers, (Handlers{&first, &second}));
    EXPECT_EQ(aliases.handlers, (Handlers{&first, &second}));

    list.unregisterChangeCallback(&first);
    EXPECT_EQ(manager.handlers, Handlers{&second});
    EXPECT_EQ(aliases.handlers, Handlers{&second});

    list.registerChangeCallback(nullptr, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    list.registerChangeCallback(&first, status);  // over the error: nothing
    EXPECT_EQ(manager.handlers, Handlers{&second});
}

TEST_F(DeviceListTest, AFailedRegistrationRollsBack) {
    Callback callback;
    aliases.registrationFailure = [] {
        throw std::system_error(std::make_error_code(std::errc::io_error));
    };
    list.registerChangeCallback(&callback, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_osFault);
    EXPECT_TRUE(manager.handlers.empty());

    // The alias manager is not asked once the device manager failed.
    aliases.registrationFailure = nullptr;
    manager.registrationFailure = [] { throw std::invalid_argument("full"); };
    nQVAPALS100::tStatus again;
    list.registerChangeCallback(&callback, again);
    EXPECT_EQ(again.code, qverr::qvapalerr_invalidParameter);
    EXPECT_TRUE(aliases.handlers.empty());
}

TEST_F(DeviceListTest, ResolveFoldsTheCaseOfAsciiLettersOnly) {
    qvzek::IDeviceResolver& resolver = list.resolver();
    EXPECT_EQ(resolver.resolve("Token1"), nullptr);

    present({"1", "\xC3\x89"}, 1);  // "É" in UTF-8; "é" is C3 A9
    EXPECT_EQ(resolver.resolve("tOKEN1"), &device(0));
    EXPECT_EQ(resolver.resolve("TOKEN\xC3\x89"), &device(1));
    EXPECT_EQ(resolver.resolve("Token\xC3\xA9"), nullptr);
    EXPECT_EQ(resolver.resolve("Token"), nullptr);
    EXPECT_EQ(resolver.resolve(nullptr), nullptr);
}

}  // namespace qvtest
