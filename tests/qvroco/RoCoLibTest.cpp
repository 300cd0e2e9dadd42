// The route control binding against the full stand-in, linked into this
// program (the copy dlopen finds by name is the one the controls reach),
// and the route settings built on it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qverr/Exception.h"
#include "qvroco/RoCoLib.h"
#include "qvroco/RoCoSession.h"
#include "qvroco/RouteSetting.h"
#include "rocoapi/qvrocosim.h"
#include "support/TempDir.h"

namespace {

using ::testing::HasSubstr;

// The library's entry points in its table order, without their
// "qvrocoapi_" prefix.
const std::vector<std::string> kExpectedEntryPoints{
    "createSession",
    "createRemoteSession",
    "createImmediateSession",
    "destroySession",
    "calculateRoute",
    "reserveRoute",
    "programRoute",
    "unprogramRoute",
    "unreserveRoute",
    "destroyRoute",
    "destroyImmediateRoute",
    "destroyAllImmediateRoutes",
    "destroyImmediateRoutesOnDevice",
    "destroyImmediateRoutesFromSource",
    "destroyImmediateRoutesToDest",
    "showRoute",
    "getRouteInfo",
    "DeviceContainer_begin",
    "DeviceIterator_next",
    "DeviceIterator_getTerminalContainer",
    "DeviceIterator_getDeviceName",
    "DeviceIterator_isEnd",
    "DeviceContainer_destroy",
    "getSystemChangeNumber",
    "hasTerminalInformationChanged",
    "getRoutableDevices",
    "getTerminalNamesAndAttributesForDevice",
    "destroyStringArray",
    "destroyString",
    "resetTerminal",
    "calculateResetTerminal",
    "validateTerminalURI",
    "areTerminalURIsEqual",
    "TerminalContainer_begin",
    "TerminalIterator_next",
    "TerminalIterator_isEnd",
    "TerminalContainer_destroy",
    "TerminalIterator_getStringAttribute",
    "TerminalIterator_getBoolAttribute",
    "RouteAttributes_new",
    "RouteAttributes_destroy",
    "RouteAttributes_getConstraints",
    "RouteAttributes_getSourceConstraints",
    "RouteAttributes_getDestinationConstraints",
    "RouteAttributes_setLifetime",
    "RouteAttributes_setCalculationTargetState",
    "RouteAttributes_setForceMultiDeviceRoute",
    "RouteAttributes_setOwnerName",
    "RouteConstraints_setBoolConstraint",
    "RouteConstraints_setStringConstraint",
    "RouteAttributes_getOptionalModifiers",
    "RouteAttributes_getRequiredModifiers",
    "RouteAttributes_getDestinationRequiredModifiers",
    "RouteModifiers_setBoolModifier",
    "RouteModifiers_setStringModifier",
    "initiateDeviceReset",
    "completeDeviceReset",
};

TEST(RouteControlBinding, ResolvesEveryEntryPointInTableOrder) {
    using qvrocoapi::dynlib::RoCoLib;
    ASSERT_EQ(std::size(RoCoLib::kEntryPointNames), 57u);
    std::vector<std::string> names;
    for (const auto& name : kExpectedEntryPoints) names.push_back("qvrocoapi_" + name);
    EXPECT_EQ(std::vector<std::string>(RoCoLib::kEntryPointNames.begin(),
                                       RoCoLib::kEntryPointNames.end()),
              names);
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

    const auto [code, json] =
        qvtest::thrownStatus([&] { session.calculateRoute("/Dev1/PFI0", "/dev1/pfi0", nullptr); });
    EXPECT_EQ(code, -89120);
    EXPECT_EQ(json,
              "{\"qvrocoapi\":{\"function\":\"calculateRoute\",\"message\":\"no route from "
              "/Dev1/PFI0 to /dev1/pfi0\"}}");
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

TEST(TerminalNames, QualifiedUnlessAlreadyFullAndFoldedByFullCaseFolding) {
    using rocout::qualifyTerminalName;
    EXPECT_EQ(qualifyTerminalName(" \tPFI0 \r\n", "Dev1/ai/0"), "/Dev1/ai/0/PFI0");
    EXPECT_EQ(qualifyTerminalName("/Dev2/PFI1", "Dev1/ai/0"), "/Dev2/PFI1");
    EXPECT_EQ(qualifyTerminalName("/ab", "Dev1/ai/0"), "/Dev1/ai/0//ab");
    EXPECT_EQ(qualifyTerminalName("/PFI0", "Dev1/ai/0"), "/Dev1/ai/0//PFI0");
    EXPECT_EQ(qualifyTerminalName(" \v\f ", "Dev1/ai/0"), "");

    using rocout::foldTerminalName;
    EXPECT_EQ(foldTerminalName("/Dev1/ai/0/PFI0"), "/dev1/ai/0/pfi0");
    EXPECT_EQ(foldTerminalName("/Dev1/Stra\xC3\x9F"
                               "e"),
              "/dev1/strasse");
    // Two-, three- and four-byte code points.
    EXPECT_EQ(foldTerminalName("\xC3\x80\xEF\xBC\xA1\xF0\x9F\x98\x80"),
              "\xC3\xA0\xEF\xBD\x81\xF0\x9F\x98\x80");
    // A sequence cut short by the end is taken byte by byte.
    const std::string cut = "/A\xE2\x82";
    EXPECT_EQ(foldTerminalName(std::string_view(cut.data(), cut.size())), "/a\xC3\xA2\xC2\x82");
}

class RouteSettings : public ::testing::Test {
protected:
    void SetUp() override { qvrocosim_reset(); }
    void TearDown() override {
        setting.reset();
        session.reset();
        qvrocosim_reset();
    }

    std::unique_ptr<rocout::RoCoSession> session = std::make_unique<rocout::RoCoSession>();
    std::unique_ptr<rocout::RouteSetting> setting =
        std::make_unique<rocout::RouteSetting>(*session, "Dev1/ai/0");
};

TEST_F(RouteSettings, DestinationListKeepsTheFirstItemOfEachFoldedName) {
    setting->setDestinations("PFI0, pfi0 ,  ,PXI_Trig1");
    const std::map<std::string, std::string> expected{
        {"/dev1/ai/0/pfi0", "/Dev1/ai/0/PFI0"}, {"/dev1/ai/0/pxi_trig1", "/Dev1/ai/0/PXI_Trig1"}};
    EXPECT_EQ(setting->destinations(), expected);
    EXPECT_EQ(qvrocosim_callCount(), 0u);
}

TEST_F(RouteSettings, ApplyCalculatesOncePerDestinationAndThenNothingUntilAChange) {
    setting->setDestinations("PFI0, PFI1");
    setting->applyRoutes();
    EXPECT_EQ(qvrocosim_callCount(), 0u);  // no source: nothing at all

    setting->setSource("StartTrigger");
    setting->applyRoutes();
    EXPECT_THAT(std::string(qvrocosim_log()),
                HasSubstr("RouteAttributes_setCalculationTargetState 2\ncalculateRoute "
                          "/Dev1/ai/0/StartTrigger /Dev1/ai/0/PFI1\n"));
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);
    EXPECT_EQ(setting->appliedSource(), "/Dev1/ai/0/StartTrigger");

    const uint32_t calls = qvrocosim_callCount();
    setting->releaseStaleRoutes();
    setting->applyRoutes();
    EXPECT_EQ(qvrocosim_callCount(), calls);
}

TEST_F(RouteSettings, RemovedDestinationIsReleasedAndReArmedWithoutRecalculation) {
    setting->setSource("StartTrigger");
    setting->setDestinations("PFI0,PFI1");
    setting->applyRoutes();
    setting->setDestinations("PFI0");
    qvrocosim_clearLog();
    setting->releaseStaleRoutes();
    EXPECT_EQ(std::string(qvrocosim_log()),
              "unprogramRoute 2\nunreserveRoute 2\nresetTerminal /Dev1/ai/0/PFI1 default\n");
    setting->applyRoutes();
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 1u);
    EXPECT_EQ(qvrocosim_routeCount(), 2u);  // the released route stays calculated

    setting->setDestinations("PFI1,PFI0");
    qvrocosim_clearLog();
    setting->releaseStaleRoutes();
    setting->applyRoutes();
    EXPECT_EQ(std::string(qvrocosim_log()), "reserveRoute 2\nprogramRoute 2\n");
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);

    setting->releaseAllRoutes();
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
    setting.reset();
    EXPECT_EQ(qvrocosim_routeCount(), 0u);
    EXPECT_EQ(qvrocosim_liveObjectCount(), 0u);
}

TEST_F(RouteSettings, AReArmThatFailsDropsTheRouteAndMakesItAgain) {
    setting->setSource("StartTrigger");
    setting->setDestinations("PFI0");
    setting->applyRoutes();
    setting->setDestinations("");
    setting->releaseStaleRoutes();
    setting->setDestinations("PFI0");
    qvrocosim_failEntry("reserveRoute", -89999);
    qvrocosim_clearLog();
    setting->applyRoutes();
    EXPECT_EQ(std::string(qvrocosim_log()),
              "reserveRoute 1\ndestroyRoute 1\nRouteAttributes_destroy\nRouteAttributes_new\n"
              "RouteAttributes_setCalculationTargetState 2\n"
              "calculateRoute /Dev1/ai/0/StartTrigger /Dev1/ai/0/PFI0\n");
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 1u);
}

// After an apply that failed following a change of source, routes of the
// new source made before the failure are programmed while the applied
// source still names the old one: releases must reach them.
class RouteSettingsAfterAFailedSwitch : public RouteSettings {
protected:
    void SetUp() override {
        RouteSettings::SetUp();
        setting->setSource("PFI0");
        setting->setDestinations("StartTrigger, ReferenceTrigger");
        setting->applyRoutes();
        setting->setSource("PFI1");
        setting->releaseStaleRoutes();
        ASSERT_EQ(qvrocosim_programmedRouteCount(), 0u);
        // Attributes, target state and calculation per route: the second
        // calculation fails.
        qvrocosim_failCall(6, -89999);
        ASSERT_THROW(setting->applyRoutes(), qverr::Exception);
        ASSERT_EQ(qvrocosim_programmedRouteCount(), 1u);
        ASSERT_EQ(setting->appliedSource(), "/Dev1/ai/0/PFI0");
    }
};

TEST_F(RouteSettingsAfterAFailedSwitch, ReleaseAllReleasesTheNewSourcesRoutes) {
    setting->releaseAllRoutes();
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
}

TEST_F(RouteSettingsAfterAFailedSwitch, GoingBackToTheOldSourceFreesItsDestinations) {
    setting->setSource("PFI0");
    setting->releaseStaleRoutes();
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
    setting->applyRoutes();
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);
    EXPECT_EQ(setting->appliedSource(), "/Dev1/ai/0/PFI0");
}

}  // namespace
