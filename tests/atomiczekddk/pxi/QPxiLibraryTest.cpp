#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "atomiczekddk/pxi/QPxiLibrary.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/QpxiStandIn.h"
#include "support/SelfProcess.h"

namespace {

using qvqpxi::QPxiLibrary;

#define REQUIRE_VARIANT(variant)                         \
    if (!qvtest::environmentIs("QV_TEST_QPXI", variant)) \
    GTEST_SKIP() << "runs in the " variant " process"

// The entry points' names, typed in from the library's contract.
const char* const kNames[17] = {"qvqpxi_openPXISession",
                                "qvqpxi_openChassisByNumber",
                                "qvqpxi_openSlotByNumber",
                                "qvqpxi_openDeviceByAddr",
                                "qvqpxi_openContainingItem",
                                "qvqpxi_getU32Attribute",
                                "qvqpxi_getStringAttribute",
                                "qvqpxi_getItemContainer",
                                "qvqpxi_duplicateItemContainer",
                                "qvqpxi_ItemIterator_begin",
                                "qvqpxi_ItemIterator_nextItem",
                                "qvqpxi_ItemIterator_end",
                                "qvqpxi_destroyItemContainer",
                                "qvqpxi_duplicate",
                                "qvqpxi_close",
                                "qvqpxi_waitForSessionInvalidation",
                                "qvqpxi_cancelWaitForInvalidation"};

TEST(PxiAbsent, MissingLibraryIsNoErrorOfItsUser) {
    REQUIRE_VARIANT("absent");
    qverr::Status status;
    std::unique_ptr<QPxiLibrary> library;
    ASSERT_NO_THROW(library = std::make_unique<QPxiLibrary>(status));
    EXPECT_FALSE(library->isLoaded);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_NE(std::string(status.jsonText()).find("dlerror"), std::string::npos);
    for (size_t i = 0; i < 17; ++i) EXPECT_EQ(library->entryPoint(i), nullptr) << i;
}

TEST(PxiWithout9, EntryPointsAfterTheMissingOneStayNull) {
    REQUIRE_VARIANT("no9");
    qverr::Status status;
    QPxiLibrary library(status);
    EXPECT_FALSE(library.isLoaded);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_NE(std::string(status.jsonText()).find("qvqpxi_duplicateItemContainer"),
              std::string::npos);
    for (size_t i = 0; i < 8; ++i) EXPECT_NE(library.entryPoint(i), nullptr) << kNames[i];
    for (size_t i = 8; i < 17; ++i) EXPECT_EQ(library.entryPoint(i), nullptr) << kNames[i];
}

class PxiLoaded : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_VARIANT("full");
        standIn = std::make_unique<qvtest::QpxiStandIn>();
        library = std::make_unique<QPxiLibrary>(status);
        ASSERT_TRUE(library->isLoaded) << status.jsonText();
    }

    qverr::Status status;
    std::unique_ptr<qvtest::QpxiStandIn> standIn;
    std::unique_ptr<QPxiLibrary> library;
};

TEST_F(PxiLoaded, EveryEntryPointResolvesInOrder) {
    void* handle = dlopen("libqvqpxi.so.1", RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    for (size_t i = 0; i < 17; ++i)
        EXPECT_EQ(library->entryPoint(i), dlsym(handle, kNames[i])) << i;
    dlclose(handle);
}

TEST_F(PxiLoaded, ErrorInStatusMeansNoLoad) {
    qverr::Status failed;
    failed.code = -1;
    EXPECT_EQ(QPxiLibrary(failed).handle(), nullptr);
    EXPECT_EQ(failed.code, -1);
}

TEST_F(PxiLoaded, DeviceIsFoundByAddressAndPlaced) {
    standIn->addDevice(1, 3, 77, 4, 0, 0);
    {
        qvqpxi::Session session(0, *library);
        EXPECT_EQ(session.getU32Attribute(qvqpxi::kSessionValid), 1u);
        qvqpxi::Device device = session.openDeviceByAddr({0, 4, 0, 0});
        EXPECT_EQ(device.getU32Attribute(0x1000), 1u);
        EXPECT_EQ(device.getU32Attribute(0x2008), 3u);
        EXPECT_EQ(device.openContainingSlot().getU32Attribute(0x2005), 77u);
        const qvqpxi::DeviceAddress address = device.getAddress();
        EXPECT_EQ(address.reserved, 0u);
        EXPECT_EQ(address.bus, 4u);
        EXPECT_EQ(device.openContainingChassis().getSlots().size(), 1u);
    }
    EXPECT_EQ(standIn->openHandles(), 0u);
}

TEST_F(PxiLoaded, LibraryFailureKeepsItsCodeAndDetail) {
    qvqpxi::Session session(0, *library);
    try {
        session.openDeviceByAddr({0, 9, 9, 9});
        FAIL() << "no device there";
    } catch (const qverr::Exception& e) {
        EXPECT_EQ(e.status.code, qverr::qvapalerr_resourceNotFound);
        EXPECT_NE(std::string(e.status.jsonText()).find("no device at this address"),
                  std::string::npos);
    }
}

// Every handle a list hands out is a duplicate of its own; the closes are
// counted by the stand-in's open handles.
TEST_F(PxiLoaded, ListsHandOutTheirOwnHandles) {
    {
        qvqpxi::Session session(0, *library);
        EXPECT_TRUE(session.getChassis().empty());
        for (uint32_t slot = 1; slot <= 3; ++slot) standIn->addDevice(2, 5, 0, slot, 0, 0);
        const std::vector<qvqpxi::Device> devices =
            session.openChassisByNumber(2).getSlots().at(0).getDevices();
        ASSERT_EQ(devices.size(), 3u);
        std::set<uint64_t> handles;
        for (const auto& d : devices) handles.insert(d.handle());
        EXPECT_EQ(handles.size(), 3u);
        EXPECT_EQ(standIn->calls("destroyItemContainer"), 3u) << "the empty one too";
    }
    EXPECT_EQ(standIn->openHandles(), 0u);
}

TEST_F(PxiLoaded, FailedNextItemIsNeitherDuplicatedNorLeaked) {
    for (uint32_t bus = 1; bus <= 3; ++bus) standIn->addDevice(2, 5, 0, bus, 0, 0);
    {
        qvqpxi::Session session(0, *library);
        qvqpxi::Slot slot = session.openDeviceByAddr({0, 1, 0, 0}).openContainingSlot();
        standIn->failAt("ItemIterator_nextItem", 2);
        EXPECT_THROW(slot.getDevices(), qverr::Exception);
        EXPECT_EQ(standIn->calls("duplicate"), 1u);
        EXPECT_EQ(standIn->calls("destroyItemContainer"), 1u);
    }
    EXPECT_EQ(standIn->openHandles(), 0u);
}

TEST_F(PxiLoaded, CopiesOwnTheirHandleAndMovesTakeIt) {
    standIn->addDevice(1, 1, 0, 1, 0, 0);
    qvqpxi::Session session(0, *library);
    {
        qvqpxi::Item empty(0, *library);
        qvqpxi::Item copy(empty);
        EXPECT_EQ(copy.handle(), 0u);
    }
    EXPECT_EQ(standIn->calls("duplicate"), 0u);
    EXPECT_EQ(standIn->calls("close"), 2u);  // close(0) for both

    qvqpxi::Device device = session.openDeviceByAddr({0, 1, 0, 0});
    qvqpxi::Device moved(std::move(device));
    EXPECT_EQ(standIn->calls("duplicate"), 0u);
    qvqpxi::Device copy(moved);
    EXPECT_NE(copy.handle(), moved.handle());
    EXPECT_EQ(standIn->calls("duplicate"), 1u);
}

}  // namespace
