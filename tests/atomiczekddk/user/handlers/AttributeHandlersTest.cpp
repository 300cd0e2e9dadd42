#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "atomiczekddk/SimulatedFpga.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "atomiczekddk/shared/TargetClassChecker.h"
#include "atomiczekddk/user/handlers/AttributeHandlers.h"
#include "atomiczekddk/user/handlers/PropertyDevice.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "support/QpxiStandIn.h"
#include "support/TempDir.h"

namespace {

using qvtest::PropertyDevice;
using qvtest::thrownStatus;

uint32_t u32(qvzek::IAttributeHandler& h, uint32_t id, bool expectHandled = true) {
    bool handled = !expectHandled;
    const uint32_t value = h.getU32Attribute(id, &handled);
    EXPECT_EQ(handled, expectHandled) << "attribute " << id;
    return value;
}

std::string text(qvzek::IAttributeHandler& h, uint32_t id) {
    uint32_t length = 0;
    bool handled = false;
    h.getStringAttribute(id, nullptr, 0, &length, &handled);
    EXPECT_TRUE(handled) << "attribute " << id;
    std::string out(length + 1, '\0');
    h.getStringAttribute(id, out.data(), length + 1, nullptr, &handled);
    out.resize(length);
    return out;
}

// Answers every id with a fixed value and counts its questions.
class Fixed : public qvzek::AttributeHandlerNone {
public:
    explicit Fixed(uint32_t value) : value_(value) {}
    uint32_t getU32Attribute(uint32_t, bool* handled) override {
        *handled = true;
        return value_;
    }

private:
    uint32_t value_;
};

TEST(AttributeHandlers, CompositeOrderDecides) {
    qvzek::AttributeHandlerComposite empty;
    EXPECT_EQ(u32(empty, 4, false), 0xFFFFFFFFu);
    bool handled = true;
    empty.getStringAttribute(0, nullptr, 0, nullptr, &handled);
    EXPECT_FALSE(handled);

    PropertyDevice device;
    qvzek::AttributeHandlerComposite composite;
    composite.addHandler(new qvzek::AttributeHandlerNoBrex);
    composite.addHandler(new Fixed(7));
    composite.addHandler(new qvzek::AttributeHandlerDevice(device));
    EXPECT_EQ(u32(composite, 80), 0xFFFFFFFFu);  // NoBrex, handled
    EXPECT_EQ(u32(composite, 4), 7u);            // Fixed comes before Device

    // The traditional handler formats attribute 2 (asked of those after it) in hex.
    qvzek::AttributeHandlerComposite hex;
    hex.addHandler(new qvzek::AttributeHandlerTraditionalZek(hex));
    hex.addHandler(new Fixed(7));
    EXPECT_EQ(text(hex, 4), "0x0007");
}

TEST(AttributeHandlers, DeviceAndPciProperties) {
    PropertyDevice device;
    qvzek::AttributeHandlerDevice byDevice(device);
    qvzek::AttributeHandlerPci byPci(device);
    struct Row {
        qvzek::IAttributeHandler& handler;
        uint32_t id, value;
    };
    const Row numbers[] = {
        {byDevice, 4, 0x1A2B},
        {byDevice, 73, 0},  // no slot count published
        {byDevice, 74, qvzek::kBusKindPci},
        {byDevice, 92, 0xFFFFFFFF},  // no NUMA node
        {byPci, 2, 0x5678},
        {byPci, 3, 0x1234},
        {byPci, 10, 4},
        {byPci, 12, 1},
    };
    for (const Row& row : numbers) EXPECT_EQ(u32(row.handler, row.id), row.value) << row.id;
    EXPECT_EQ(text(byDevice, 0), "QV-3377");
    EXPECT_EQ(text(byDevice, 6), "QV3377");
    EXPECT_EQ(text(byDevice, 18), "1A2B");
    EXPECT_EQ(text(byDevice, 19), "");
    EXPECT_EQ(text(byPci, 9), "");
    u32(byDevice, 5, false);

    // Texts follow the buffer rule: room for the NUL or nothing.
    uint32_t length = 0;
    bool handled = false;
    char exact[8] = "zzzzzzz";
    EXPECT_EQ(
        thrownStatus([&] { byDevice.getStringAttribute(0, exact, 7, &length, &handled); }).first,
        qvzek::kErrorBufferTooSmall);
    EXPECT_EQ(length, 7u);
    EXPECT_STREQ(exact, "zzzzzzz") << "left untouched";

    device.text["serialNumber"] = "zz";
    EXPECT_THROW(qvzek::AttributeHandlerDevice(device).getU32Attribute(4, nullptr),
                 std::invalid_argument);
    device.text["serialNumber"] = "";
    EXPECT_EQ(thrownStatus([&] { qvzek::AttributeHandlerDevice h(device); }).first,
              qvzek::kErrorAttributeNotServed);
    device.text["serialNumber"] = "1";
    device.numbers.erase("pciDeviceID");
    EXPECT_EQ(thrownStatus([&] { qvzek::AttributeHandlerPci h(device); }).first,
              qverr::qvapalerr_resourceNotFound);
    device.numbers.erase("busType");
    EXPECT_EQ(thrownStatus([&] { qvzek::AttributeHandlerDevice h(device); }).first,
              qverr::qvapalerr_resourceNotFound);
}

TEST(AttributeHandlers, PxiPlacesTheModule) {
    qvtest::QpxiStandIn standIn;
    standIn.addDevice(2, 5, 0x77, 4, 0, 1);
    qverr::Status status;
    qvqpxi::QPxiLibrary library(status);
    ASSERT_TRUE(library.isLoaded);
    PropertyDevice device;
    {
        qvzek::AttributeHandlerPxi handler(library, device);
        EXPECT_EQ(u32(handler, 27), 2u);
        EXPECT_EQ(u32(handler, 28), 5u);
        EXPECT_EQ(u32(handler, 30), 0x77u);
        EXPECT_EQ(text(handler, 5), "PXI2");
        const uint64_t sessions = standIn.calls("openPXISession");
        standIn.setSessionValid(0);  // stale: reopened before the next query
        EXPECT_EQ(u32(handler, 27), 2u);
        EXPECT_EQ(standIn.calls("openPXISession"), sessions + 1);
        // A module the library does not know.
        device.numbers["pciBusNumber"] = 9;
        qvzek::AttributeHandlerPxi unknown(library, device);
        EXPECT_EQ(u32(unknown, 27), 0xFFFFFFFFu);
        EXPECT_EQ(text(unknown, 5), "");
    }
    EXPECT_EQ(standIn.openHandles(), 0u);

    qverr::Status absentStatus;
    qvqpxi::QPxiLibrary absent(absentStatus, "libqvqpxi-absent.so.1");
    qvzek::AttributeHandlerPxi without(absent, device);
    EXPECT_EQ(u32(without, 27), 0xFFFFFFFFu);
    EXPECT_EQ(text(without, 5), "");
}

// The target-class check of a bitfile asks the device's handler for its class.
TEST(TargetClass, MatchesOneTrimmedEntryExactly) {
    PropertyDevice device;
    const auto compatible = [&](const char* deviceClass, const char* list) {
        device.text["zekFpgaTargetClass"] = deviceClass;
        return qvzek::TargetClassCheckerDefault(
                   std::make_shared<qvzek::AttributeHandlerDevice>(device))
            .isCompatible(list);
    };
    EXPECT_TRUE(compatible("QV-3377 (B)", ""));
    EXPECT_TRUE(compatible("A", "  A ; B "));
    EXPECT_TRUE(compatible(" B\t", "A;B"));
    EXPECT_FALSE(compatible("ABC", "abc"));
    EXPECT_FALSE(compatible("A", ";"));
    // A device without a class is a software fault.
    qvzek::TargetClassCheckerDefault unknown(std::make_shared<qvzek::AttributeHandlerNone>());
    EXPECT_EQ(thrownStatus([&] { unknown.isCompatible("A"); }).first,
              qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
}

class DriverAttributes : public qvtest::SimulatedFpga {
protected:
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_attribute> attributes{proxy, proxy.get()};
};

TEST_F(DriverAttributes, InterfaceProxyAndTraditionalHandlers) {
    device.setAttribute(1, 0xFFFFFFFF);
    device.setAttribute(2, 0x3A);
    qvzek::AttributeHandlerComposite composite;
    composite.addHandler(new qvzek::AttributeHandlerTraditionalZek(composite));
    composite.addHandler(new qvzek::AttributeHandlerInterfaceProxy(attributes));

    EXPECT_EQ(u32(composite, 1), 0xFFFFFFFFu);
    EXPECT_EQ(u32(composite, 48, false), 0xFFFFFFFFu);  // the driver does not serve it
    // The whole u32 range reaches the text.
    EXPECT_EQ(text(composite, 2), "ZEK4294967295");
    // Attribute 2 is not the driver proxy's: the text is not handled.
    bool handled = true;
    composite.getStringAttribute(4, nullptr, 0, nullptr, &handled);
    EXPECT_FALSE(handled);

    // The owner text goes to the driver as its code and comes back.
    composite.setStringAttribute(1, "interactive", &handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(static_cast<int32_t>(u32(composite, 84)), qvzek::kOwnerInteractive);
    EXPECT_EQ(text(composite, 1), "interactive\n");

    composite.setU32Attribute(16, 1, &handled);
    EXPECT_EQ(u32(composite, 16), 1u);
    EXPECT_EQ(thrownStatus([&] { composite.setU32Attribute(16, 2, &handled); }).first,
              qvzek::kErrorInvalidAttributeValue);
    EXPECT_EQ(u32(composite, 14), 0x1730E70Fu);
    EXPECT_EQ(u32(composite, 15), 0x0200C000u);

    device.failNext("atomiczekddk_attribute.getAttribute", -61000);
    EXPECT_EQ(thrownStatus([&] { composite.getU32Attribute(84, &handled); }).first, -61000);
}

}  // namespace
