// The device list and its devices as a host compiled elsewhere sees them:
// a pointer whose first word is a table of functions, called by position
// with the status record last. The positions are the binary interface.
#include <gtest/gtest.h>

#include "DeviceListFixture.h"
#include "zekhost/ZekHost.h"

namespace qvtest {

using nQVAPALS100::tStatus;

// The function at `position` of the object's table, typed as the host
// declares it (the object first).
template <class Function>
Function* slot(void* object, size_t position) {
    return reinterpret_cast<Function*>(zekhost::entry(object, position));
}

using HostOrderTest = DeviceListFixture;

TEST_F(HostOrderTest, DeviceListPositions) {
    manager.devices = {module("a", "PXI1Slot2"), module("b", "PXI1Slot3")};
    manager.changeNumber = 2;
    auto* created = new qvzek::DeviceList(&manager, &factory, &aliases);
    void* object = static_cast<qvzek::IDeviceList*>(created);

    EXPECT_EQ(slot<uint32_t(void*)>(object, 0)(object), 0u);
    EXPECT_TRUE(slot<bool(void*)>(object, 1)(object));
    slot<void(void*, tStatus*)>(object, 2)(object, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(slot<bool(void*)>(object, 1)(object));
    EXPECT_EQ(slot<uint64_t(void*)>(object, 3)(object), 2u);

    auto* getDevice = slot<void*(void*, uint32_t, int32_t, tStatus*)>(object, 4);
    void* device = getDevice(object, 1, 0, &status);
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(slot<const char*(void*, uint32_t)>(device, 1)(device, 0), "b");
    EXPECT_EQ(getDevice(object, 0, 1, &status), nullptr);
    EXPECT_EQ(status.code, -63193);

    CountingCallback callback;
    tStatus registered;
    slot<void(void*, void*, tStatus*)>(object, 6)(object, static_cast<qvzek::IChangeNotificationHandler*>(&callback),
                                                  &registered);
    EXPECT_EQ(registered.code, 0);
    EXPECT_EQ(manager.handlers, Handlers{&callback});
    slot<void(void*, void*)>(object, 7)(object, static_cast<qvzek::IChangeNotificationHandler*>(&callback));
    EXPECT_TRUE(manager.handlers.empty());

    // release gives the list back (the leak checker sees it go).
    slot<void(void*)>(object, 5)(object);

    // The deleting destructor is the last position.
    object = static_cast<qvzek::IDeviceList*>(new qvzek::DeviceList(&manager, &factory, &aliases));
    slot<void(void*)>(object, 9)(object);
}

TEST_F(HostOrderTest, DevicePositions) {
    present({"a", "b"}, 1);
    aliases.aliases["b"] = "bench";
    void* object = &device(0);

    EXPECT_EQ(slot<uint32_t(void*)>(object, 0)(object), 0u);
    EXPECT_STREQ(slot<const char*(void*, uint32_t)>(object, 1)(object, 0), "a");
    EXPECT_EQ(slot<uint64_t(void*)>(object, 2)(object), reinterpret_cast<uintptr_t>(kInterfaceName));
    slot<void(void*, uint32_t, tStatus*)>(object, 3)(object, 21, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(factory.attribute->value, 21u);
    EXPECT_EQ(slot<uint32_t(void*)>(object, 4)(object), 21u);
    EXPECT_EQ(slot<uint32_t(void*)>(object, 5)(object), 1u);
    EXPECT_STREQ(slot<const char*(void*)>(object, 6)(object), "PXI1Slota");
    EXPECT_STREQ(slot<const char*(void*)>(object, 7)(object), "");

    void* previous = nullptr;
    slot<void(void*, const char*, uint32_t, void**, tStatus*)>(object, 8)(object, "bench", 1, &previous, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(previous, &device(1));
    EXPECT_STREQ(slot<const char*(void*)>(object, 7)(object), "bench");

    auto* open = slot<void*(void*, uint32_t, tStatus*)>(object, 9);
    void* session = open(object, 5, &status);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(slot<uint32_t(void*)>(session, 0)(session), 5u);
    slot<void(void*)>(session, 4)(session);  // the session's release
    EXPECT_EQ(open(object, 6, &status), nullptr);
    EXPECT_EQ(status.code, -63193);

    object = static_cast<qvzek::IDevice*>(new qvzek::Device(module("c"), &factory, &aliases, &list.resolver()));
    slot<void(void*)>(object, 11)(object);
}

TEST_F(HostOrderTest, ResolverPositions) {
    present({"a"}, 1);
    void* object = &list.resolver();
    EXPECT_EQ(slot<void*(void*, const char*)>(object, 2)(object, "A"), &device(0));
    EXPECT_EQ(slot<void*(void*, const char*)>(object, 2)(object, "b"), nullptr);

    const std::vector<std::unique_ptr<qvzek::Device>> none;
    object = static_cast<qvzek::IDeviceResolver*>(new qvzek::DeviceList::DeviceResolver(none));
    EXPECT_EQ(slot<void*(void*, const char*)>(object, 2)(object, "a"), nullptr);
    slot<void(void*)>(object, 1)(object);
}

}  // namespace qvtest
