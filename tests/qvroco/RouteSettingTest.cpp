#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qverr/Exception.h"
#include "qvroco/RouteSetting.h"
#include "rocoapi/qvrocosim.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

size_t occurrences(const std::string& text, const std::string& word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
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
    EXPECT_EQ(foldTerminalName("/Dev1/Stra\xC3\x9F" "e"), "/dev1/strasse");
    // Two-, three- and four-byte code points.
    EXPECT_EQ(foldTerminalName("\xC3\x80\xEF\xBC\xA1\xF0\x9F\x98\x80"),
              "\xC3\xA0\xEF\xBD\x81\xF0\x9F\x98\x80");
    // A sequence cut short by the end is taken byte by byte.
    const std::string cut = "/A\xE2\x82";
    EXPECT_EQ(foldTerminalName(std::string_view(cut.data(), cut.size())),
              "/a\xC3\xA2\xC2\x82");
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
    const std::string first = qvrocosim_log();
    EXPECT_EQ(occurrences(first, "calculateRoute /Dev1/ai/0/StartTrigger /Dev1/ai/0/PFI"), 2u);
    EXPECT_EQ(occurrences(first, "RouteAttributes_setCalculationTargetState 2"), 2u);
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
        ASSERT_EQ(qvrocosim_programmedRouteCount(), 2u);
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
