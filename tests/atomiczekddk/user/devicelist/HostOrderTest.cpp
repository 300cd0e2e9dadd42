// The device list and its devices as a host compiled elsewhere sees them:
// a pointer whose first word is a table of functions, called by position
// with the status record last. The positions are the binary interface.
#include <gtest/gtest.h>

#include "DeviceListFixture.h"
#include "atomiczekddk/shared/Errors.h"
#include "zekhost/ZekHost.h"

namespace qvtest {

using nQVAPALS100::tStatus;

// The function at `position` of the object's table, as the host declares it.
template <class Function>
Function* slot(void* object, size_t position) {
    return reinterpret_cast<Function*>(zekhost::entry(object, position));
}

using HostOrderTest = DeviceListFixture;

TEST_F(HostOrderTest, DeviceListPositions) {
    manager.devices = {module("a"), module("b")};
    void* object =
        static_cast<qvzek::IDeviceList*>(new qvzek::DeviceList(&manager, &factory, &aliases));
    EXPECT_EQ(slot<uint32_t(void*)>(object, 0)(object), 0u);
    EXPECT_TRUE(slot<bool(void*)>(object, 1)(object));
    slot<void(void*, tStatus*)>(object, 2)(object, &status);
    EXPECT_FALSE(slot<bool(void*)>(object, 1)(object));
    EXPECT_EQ(slot<uint64_t(void*)>(object, 3)(object), 2u);
    void* device =
        slot<void*(void*, uint32_t, int32_t, tStatus*)>(object, 4)(object, 1, 0, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_STREQ(slot<const char*(void*, uint32_t)>(device, 1)(device, 0), "Tokenb");

    Callback callback;
    void* handler = static_cast<qvzek::IChangeNotificationHandler*>(&callback);
    slot<void(void*, void*, tStatus*)>(object, 6)(object, handler, &status);
    EXPECT_EQ(manager.handlers, Handlers{&callback});
    slot<void(void*, void*)>(object, 7)(object, handler);
    EXPECT_TRUE(manager.handlers.empty());
    slot<void(void*)>(object, 5)(object);  // release: the leak checker sees it go

    object = static_cast<qvzek::IDeviceList*>(new qvzek::DeviceList(&manager, &factory, &aliases));
    slot<void(void*)>(object, 9)(object);
}

TEST_F(HostOrderTest, DevicePositions) {
    present({"a", "b"}, 1);
    aliases.aliases["Tokenb"] = "bench";
    void* object = &device(0);
    EXPECT_EQ(slot<uint32_t(void*)>(object, 0)(object), 0u);
    EXPECT_STREQ(slot<const char*(void*, uint32_t)>(object, 1)(object, 0), "Tokena");
    EXPECT_EQ(slot<uint64_t(void*)>(object, 2)(object),
              reinterpret_cast<uintptr_t>(kInterfaceName));
    slot<void(void*, uint32_t, tStatus*)>(object, 3)(object, 21, &status);
    EXPECT_EQ(factory.attribute->value, 21u);
    EXPECT_EQ(slot<uint32_t(void*)>(object, 4)(object), 21u);
    EXPECT_EQ(slot<uint32_t(void*)>(object, 5)(object), 1u);
    EXPECT_STREQ(slot<const char*(void*)>(object, 6)(object), "PXI1Slota");
    EXPECT_STREQ(slot<const char*(void*)>(object, 7)(object), "");
    void* previous = nullptr;
    slot<void(void*, const char*, uint32_t, void**, tStatus*)>(object, 8)(object, "bench", 1,
                                                                          &previous, &status);
    EXPECT_EQ(previous, &device(1));
    EXPECT_STREQ(slot<const char*(void*)>(object, 7)(object), "bench");
    EXPECT_EQ(status.code, 0);

    // Any session version up to 5 gives the one session, which answers 5.
    auto* open = slot<void*(void*, uint32_t, tStatus*)>(object, 9);
    for (uint32_t version = 0; version <= 5; ++version) {
        void* session = open(object, version, &status);
        ASSERT_NE(session, nullptr);
        EXPECT_EQ(slot<uint32_t(void*)>(session, 0)(session), 5u);
        slot<void(void*)>(session, 4)(session);  // its release
    }
    EXPECT_EQ(open(object, 6, &status), nullptr);
    EXPECT_EQ(status.code, qvzek::kErrorNotSupported);

    object = static_cast<qvzek::IDevice*>(
        new qvzek::Device(module("c"), &factory, &aliases, &list.resolver()));
    slot<void(void*)>(object, 11)(object);
}

TEST_F(HostOrderTest, ResolverPositions) {
    present({"a"}, 1);
    void* object = &list.resolver();
    EXPECT_EQ(slot<void*(void*, const char*)>(object, 2)(object, "TOKENA"), &device(0));

    const std::vector<std::unique_ptr<qvzek::Device>> none;
    object = static_cast<qvzek::IDeviceResolver*>(new qvzek::DeviceList::DeviceResolver(none));
    EXPECT_EQ(slot<void*(void*, const char*)>(object, 2)(object, "Tokena"), nullptr);
    slot<void(void*)>(object, 1)(object);
}

}  // namespace qvtest
