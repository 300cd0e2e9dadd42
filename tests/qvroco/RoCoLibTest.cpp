// The binding against the full stand-in, linked into this program: the copy
// dlopen finds by name is the one the controls reach.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qverr/Exception.h"
#include "qvroco/RoCoLib.h"
#include "qvroco/RoCoSession.h"
#include "rocoapi/qvrocosim.h"

namespace {

using ::testing::HasSubstr;

// The library's entry points in its table order, without their
// "qvrocoapi_" prefix.
const std::vector<std::string> kExpectedEntryPoints{
    "createSession", "createRemoteSession", "createImmediateSession", "destroySession", "calculateRoute",
    "reserveRoute", "programRoute", "unprogramRoute", "unreserveRoute", "destroyRoute", "destroyImmediateRoute",
    "destroyAllImmediateRoutes", "destroyImmediateRoutesOnDevice", "destroyImmediateRoutesFromSource",
    "destroyImmediateRoutesToDest", "showRoute", "getRouteInfo", "DeviceContainer_begin", "DeviceIterator_next",
    "DeviceIterator_getTerminalContainer", "DeviceIterator_getDeviceName", "DeviceIterator_isEnd",
    "DeviceContainer_destroy", "getSystemChangeNumber", "hasTerminalInformationChanged", "getRoutableDevices",
    "getTerminalNamesAndAttributesForDevice", "destroyStringArray", "destroyString", "resetTerminal",
    "calculateResetTerminal", "validateTerminalURI", "areTerminalURIsEqual", "TerminalContainer_begin",
    "TerminalIterator_next", "TerminalIterator_isEnd", "TerminalContainer_destroy",
    "TerminalIterator_getStringAttribute", "TerminalIterator_getBoolAttribute", "RouteAttributes_new",
    "RouteAttributes_destroy", "RouteAttributes_getConstraints", "RouteAttributes_getSourceConstraints",
    "RouteAttributes_getDestinationConstraints", "RouteAttributes_setLifetime",
    "RouteAttributes_setCalculationTargetState", "RouteAttributes_setForceMultiDeviceRoute",
    "RouteAttributes_setOwnerName", "RouteConstraints_setBoolConstraint", "RouteConstraints_setStringConstraint",
    "RouteAttributes_getOptionalModifiers", "RouteAttributes_getRequiredModifiers",
    "RouteAttributes_getDestinationRequiredModifiers", "RouteModifiers_setBoolModifier",
    "RouteModifiers_setStringModifier", "initiateDeviceReset", "completeDeviceReset",
};

TEST(RouteControlBinding, ResolvesEveryEntryPointInTableOrder) {
    using qvrocoapi::dynlib::RoCoLib;
    ASSERT_EQ(std::size(RoCoLib::kEntryPointNames), 57u);
    std::vector<std::string> names;
    for (const auto& name : kExpectedEntryPoints) names.push_back("qvrocoapi_" + name);
    EXPECT_EQ(std::vector<std::string>(RoCoLib::kEntryPointNames.begin(), RoCoLib::kEntryPointNames.end()), names);
    qverr::Status status;
    qvdynlib::AutoLibWithInterface<RoCoLib> library(rocout::kRoCoLibraryName, status);
    EXPECT_EQ(status.code, 0) << status.jsonText();
    ASSERT_NE(library.handle(), nullptr);
    const qvrocoapi::dynlib::RoCoLibInterface& table = library;
#define QVROCO_TEST_HAS(name, result, params, args) EXPECT_TRUE(table.has_##name()) << #name;
    QVROCOAPI_ENTRY_POINTS(QVROCO_TEST_HAS)
#undef QVROCO_TEST_HAS
}

class RouteControlSession : public ::testing::Test {
protected:
    void SetUp() override { qvrocosim_reset(); }
    void TearDown() override { qvrocosim_reset(); }

    static std::string log() { return qvrocosim_log(); }
};

TEST_F(RouteControlSession, CreatesTheMainSessionOnFirstUseAndDestroysBothSessionsAtTheEnd) {
    {
        rocout::RoCoSession session;
        EXPECT_EQ(qvrocosim_liveSessionCount(), 0u);
        const uint32_t id = session.calculateRoute("/Dev1/PFI0", "/Dev1/PXI_Trig0", nullptr);
        session.reserveRoute(id);
        session.programRoute(id);
        EXPECT_EQ(qvrocosim_programmedRouteCount(), 1u);
        session.completeDeviceReset("Dev1");
        EXPECT_EQ(qvrocosim_liveSessionCount(), 2u);
        EXPECT_EQ(log(),
                  "createSession\ncalculateRoute /Dev1/PFI0 /Dev1/PXI_Trig0\nreserveRoute 1\n"
                  "programRoute 1\ncreateSession\ncompleteDeviceReset Dev1\n");
        // The reset session lives from a complete until the next initiate.
        session.completeDeviceReset("Dev1");
        EXPECT_EQ(qvrocosim_liveSessionCount(), 2u);
        qvrocosim_clearLog();
        session.initiateDeviceReset("Dev1");
        EXPECT_EQ(log(), "destroySession\ncreateSession\ninitiateDeviceReset Dev1\n");
        EXPECT_EQ(qvrocosim_liveSessionCount(), 2u);
    }
    EXPECT_EQ(qvrocosim_liveSessionCount(), 0u);
    EXPECT_EQ(qvrocosim_routeCount(), 0u);
}

TEST_F(RouteControlSession, LibraryErrorsAreThrownAsTheLibraryWroteThemAndWarningsDropped) {
    rocout::RoCoSession session;
    const uint32_t id = session.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr);
    session.reserveRoute(id);
    qvrocosim_failEntry("programRoute", 1);
    EXPECT_NO_THROW(session.programRoute(id));
    qvrocosim_failEntry("programRoute", 0);

    try {
        session.calculateRoute("/Dev1/PFI0", "/dev1/pfi0", nullptr);
        FAIL() << "an impossible route was calculated";
    } catch (const qverr::Exception& error) {
        EXPECT_EQ(error.status.code, -89120);
        EXPECT_STREQ(error.status.jsonText(),
                     "{\"qvrocoapi\":{\"function\":\"calculateRoute\",\"message\":\"no route from "
                     "/Dev1/PFI0 to /dev1/pfi0\"}}");
    }
    // A second route to a held destination is refused at reservation.
    const uint32_t other = session.calculateRoute("/Dev1/PFI2", "/Dev1/pfi1", nullptr);
    try {
        session.reserveRoute(other);
        FAIL() << "a destination was used twice";
    } catch (const qverr::Exception& error) {
        EXPECT_EQ(error.status.code, -89121);
        EXPECT_THAT(error.what(), HasSubstr("destination in use"));
    }
}

TEST_F(RouteControlSession, TerminalListWithoutAttributeNamesPassesOnlyTheNullEntry) {
    rocout::RoCoSession session;
    qvrocosim_setTerminals("PFI0,PXI_Trig0");
    std::vector<std::string> names;
    {
        rocout::TerminalContainerHolder holder(session, "Dev1", {});
        rocout::TerminalCursor cursor{&session, holder.get(),
                                      session.terminalContainerBegin(holder.get())};
        for (; !session.terminalIteratorIsEnd(cursor.container, cursor.iterator);
             session.terminalIteratorNext(&cursor.iterator)) {
            names.push_back(cursor.name());
        }
        EXPECT_THROW(cursor.stringAttribute("name"), qverr::Exception);  // past the end
    }
    EXPECT_EQ(names, (std::vector<std::string>{"PFI0", "PXI_Trig0"}));
    EXPECT_THAT(log(), HasSubstr("getTerminalNamesAndAttributesForDevice Dev1 0\n"));
    EXPECT_EQ(qvrocosim_liveObjectCount(), 0u);

    rocout::TerminalContainerHolder two(session, "Dev2", {"name", "isPFI"});
    EXPECT_THAT(log(), HasSubstr("getTerminalNamesAndAttributesForDevice Dev2 2\n"));
}

}  // namespace
