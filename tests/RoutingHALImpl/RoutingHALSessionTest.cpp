// The routing session over the route control stand-in, and the routinghal_
// exports of the shipped library, called by name as a C driver calls them on
// a routing context the library handed out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "RoutingHALImpl/RoutingHALSession.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "rocoapi/qvrocosim.h"
#include "support/HostLibrary.h"
#include "support/LibraryContext.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The 42 terminal names by id (index 0 unused).
const char* const kNames[43] = {
    nullptr,
    "StartTrigger",
    "ReferenceTrigger",
    "RecordAdvanceTrigger",
    "TimerStartTrigger",
    "SyncPulseDestination",
    "SyncPulseSource",
    "Syntra",
    "UserSource0",
    "UserSource1",
    "UserSource2",
    "UserSource3",
    "UserSource4",
    "UserSource5",
    "UserSource6",
    "UserSource7",
    "UserDestination0",
    "UserDestination1",
    "UserDestination2",
    "UserDestination3",
    "UserDestination4",
    "UserDestination5",
    "UserDestination6",
    "UserDestination7",
    "ScriptTrigger0",
    "ScriptTrigger1",
    "ScriptTrigger2",
    "ScriptTrigger3",
    "Marker0Event",
    "Marker1Event",
    "Marker2Event",
    "Marker3Event",
    "ConfigurationListStepTrigger",
    "ConfigurationListTrigger1",
    "ConfigurationSettledEvent",
    "ConfigurationListEvent1",
    "ReadyForStartEvent",
    "ReadyForReferenceEvent",
    "ReadyForAdvanceEvent",
    "EndOfRecordEvent",
    "StartedEvent",
    "DoneEvent",
    "TxBlank",
};

const std::vector<uint32_t> kAiImports{1, 2, 3, 4, 5, 16, 17, 18, 19, 20, 21, 22, 23, 32, 33};
const std::vector<uint32_t> kAiExports{1,  2,  3,  6,  7,  8,  9,  10, 11, 12, 13,
                                       14, 15, 32, 33, 34, 35, 36, 37, 38, 39, 41};
const std::vector<uint32_t> kAoImports{1, 5, 4, 32, 33, 24, 25, 26, 27};
const std::vector<uint32_t> kAoExports{1,  6,  7,  32, 33, 34, 35, 24, 25,
                                       26, 27, 28, 29, 30, 31, 40, 41, 42};

std::unique_ptr<routinghal::RoutingHALSession> makeSession(const char* subsystem) {
    return std::make_unique<routinghal::RoutingHALSession>("Dev1", subsystem,
                                                           std::make_unique<rocout::RoCoSession>());
}

// The code and JSON of the exception `call` throws.
template <class Call>
std::pair<int32_t, std::string> failureOf(Call&& call) {
    try {
        call();
    } catch (const qverr::Exception& error) {
        return {error.status.code, error.status.jsonText()};
    }
    return {0, ""};
}

class RoutingSession : public ::testing::Test {
protected:
    void SetUp() override { qvrocosim_reset(); }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(qvrocosim_routeCount(), 0u);
        EXPECT_EQ(qvrocosim_liveSessionCount(), 0u);
        qvrocosim_reset();
    }

    std::unique_ptr<routinghal::RoutingHALSession> session = makeSession("/ai/0");
};

TEST_F(RoutingSession, NamesEveryTerminalOfBothInstancesAndRefusesOthers) {
    auto ao = makeSession("/ao/0");
    for (uint32_t id = 1; id <= 42; ++id) {
        EXPECT_EQ(session->getTerminalName(id), std::string("/Dev1/ai/0/") + kNames[id]);
        EXPECT_EQ(ao->getTerminalName(id), std::string("/Dev1/ao/0/") + kNames[id]);
    }
    EXPECT_EQ(failureOf([&] { session->getTerminalName(0); }).first,
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(qvrocosim_callCount(), 0u);  // naming needs no library
    const auto [code, json] = failureOf([] { makeSession("/none/0"); });
    EXPECT_EQ(code, qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(json, HasSubstr("\"RoutingHALSession\":\"invalid subsystem instance\""));
    EXPECT_THAT(json, HasSubstr("\"file\":\"RoutingHALImpl/RoutingHALSession\",\"line\":38"));
}

TEST_F(RoutingSession, EachInstanceDeploysExactlyItsOwnSignals) {
    struct Instance {
        const char* subsystem;
        const std::vector<uint32_t>& imports;
        const std::vector<uint32_t>& exports;
    };
    for (const Instance& instance :
         {Instance{"/ai/0", kAiImports, kAiExports}, Instance{"/ao/0", kAoImports, kAoExports}}) {
        SCOPED_TRACE(instance.subsystem);
        auto s = makeSession(instance.subsystem);
        for (uint32_t id = 0; id <= 43; ++id) {
            const bool importable =
                std::count(instance.imports.begin(), instance.imports.end(), id) != 0;
            const bool exportable =
                std::count(instance.exports.begin(), instance.exports.end(), id) != 0;
            EXPECT_EQ(failureOf([&] { s->deployImportSignal(id, "PFI0"); }).first,
                      importable ? 0 : qverr::qvapalerr_invalidParameter)
                << id;
            EXPECT_EQ(failureOf([&] { s->deployExportSignal(id, "PFI1"); }).first,
                      exportable ? 0 : qverr::qvapalerr_invalidParameter)
                << id;
        }
    }
}

TEST_F(RoutingSession, CommitDoesEveryReleaseBeforeAnyApply) {
    session->deployExportSignal(2, "PFI0");
    session->deployImportSignal(1, "PXI_Trig0");
    session->sendMessage(routinghal::kMessageCommit);
    EXPECT_THAT(std::string(qvrocosim_log()),
                HasSubstr("calculateRoute /Dev1/ai/0/PXI_Trig0 /Dev1/ai/0/StartTrigger\n"));
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);

    // PFI0 moves from signal 2 to signal 1: signal 1's setting comes first,
    // so its apply succeeds only when signal 2's release went before it.
    session->deployExportSignal(2, "");
    session->deployExportSignal(1, "PFI0");
    qvrocosim_clearLog();
    session->sendMessage(routinghal::kMessageCommit);
    const std::string log = qvrocosim_log();
    EXPECT_LT(log.rfind("unprogramRoute"), log.find("calculateRoute"));
    EXPECT_THAT(log, HasSubstr("calculateRoute /Dev1/ai/0/StartTrigger /Dev1/ai/0/PFI0\n"));
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);
}

TEST_F(RoutingSession, InternalRoutesAreKeptOncePerPairUntilReset) {
    session->deployInternalSignal("/Dev1/PFI0", "PXI_Trig0, PXI_Trig1");
    session->deployInternalSignal("/Dev1/PFI0", "PXI_Trig0, PXI_Trig1");
    EXPECT_EQ(session->internalRouteCount(), 1u);
    session->sendMessage(routinghal::kMessageCommit);
    EXPECT_THAT(std::string(qvrocosim_log()),
                HasSubstr("calculateRoute /Dev1/PFI0 /Dev1/ai/0/PXI_Trig1\n"));
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 2u);
    session->sendMessage(routinghal::kMessageReset);
    EXPECT_EQ(session->internalRouteCount(), 0u);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
    session->deployInternalSignal("/Dev1/PFI0", "PXI_Trig0, PXI_Trig1");
    EXPECT_EQ(session->internalRouteCount(), 1u);
}

TEST_F(RoutingSession, ResetReleasesAllAndResetsEachPfiTerminalOnce) {
    session->deployImportSignal(1, "PFI0");
    session->deployExportSignal(6, "PFI1");
    session->sendMessage(routinghal::kMessageCommit);
    ASSERT_EQ(qvrocosim_programmedRouteCount(), 2u);
    qvrocosim_clearLog();
    session->sendMessage(routinghal::kMessageReset);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
    const std::string log = qvrocosim_log();
    EXPECT_THAT(log, HasSubstr("unprogramRoute 1\nunreserveRoute 1\n"
                               "resetTerminal /Dev1/ai/0/StartTrigger default\n"));
    EXPECT_THAT(log, HasSubstr("createSession\ninitiateDeviceReset Dev1\n"
                               "completeDeviceReset Dev1\n"
                               "getTerminalNamesAndAttributesForDevice Dev1 0\n"));
    EXPECT_THAT(log, HasSubstr("resetTerminal /Dev1/PFI0 default\nresetTerminal /Dev1/PFI1 "
                               "default\nresetTerminal /Dev1/PFI2 default\n"
                               "resetTerminal /Dev1/PFIX default\n"));
    EXPECT_THAT(log, Not(HasSubstr("PXI_Trig0 default")));
    EXPECT_EQ(session->pfiTerminals().size(), 4u);

    qvrocosim_clearLog();
    session->sendMessage(routinghal::kMessageReset);
    EXPECT_THAT(std::string(qvrocosim_log()), Not(HasSubstr("getTerminalNames")));
    EXPECT_THAT(std::string(qvrocosim_log()), HasSubstr("resetTerminal /Dev1/PFIX default\n"));
}

TEST_F(RoutingSession, AnEnumerationThatFailsPartWayKeepsNothingForTheRetryToRepeat) {
    session->sendMessage(routinghal::kMessageCommit);
    // reset: initiate (create, initiate), complete, list, then names: the
    // third name fails.
    qvrocosim_failCall(7, -89999);
    EXPECT_THROW(session->sendMessage(routinghal::kMessageReset), qverr::Exception);
    EXPECT_THAT(std::string(qvrocosim_log()), HasSubstr("getStringAttribute"));
    EXPECT_TRUE(session->pfiTerminals().empty());
    EXPECT_EQ(qvrocosim_liveObjectCount(), 0u);  // the container was destroyed
    session->sendMessage(routinghal::kMessageReset);
    EXPECT_EQ(session->pfiTerminals(),
              (std::vector<std::string>{"/Dev1/PFI0", "/Dev1/PFI1", "/Dev1/PFI2", "/Dev1/PFIX"}));
}

TEST_F(RoutingSession, ResetEndsQuietlyOnlyForItsOwnCode) {
    qvrocosim_failEntry("initiateDeviceReset", -89130);
    EXPECT_NO_THROW(session->sendMessage(routinghal::kMessageReset));
    EXPECT_THAT(std::string(qvrocosim_log()), Not(HasSubstr("completeDeviceReset")));
    qvrocosim_failEntry("initiateDeviceReset", -89131);
    EXPECT_EQ(failureOf([&] { session->sendMessage(routinghal::kMessageReset); }).first, -89131);
}

// A commit that fails at any one of its library calls leaves routes that a
// reset still releases: the stand-in ends with no programmed route.
TEST_F(RoutingSession, ResetAfterACommitFailingAtAnyCallLeavesNoProgrammedRoute) {
    auto configure = [](routinghal::RoutingHALSession& s) {
        s.deployImportSignal(1, "PFI0");
        s.deployExportSignal(6, "PFI1, PXI_Trig0");
        s.deployInternalSignal("/Dev1/PFI2", "PXI_Trig1");
        s.sendMessage(routinghal::kMessageCommit);
        // The changed configuration: a new source, a moved and a new
        // destination.
        s.deployImportSignal(1, "PXI_Star");
        s.deployExportSignal(6, "PXI_Trig0, PFI0");
        s.deployExportSignal(2, "PFI1");
    };
    configure(*session);
    const uint32_t before = qvrocosim_callCount();
    session->sendMessage(routinghal::kMessageCommit);
    const uint32_t commitCalls = qvrocosim_callCount() - before;
    ASSERT_GT(commitCalls, 10u);

    for (uint32_t n = 1; n <= commitCalls; ++n) {
        SCOPED_TRACE(n);
        session.reset();
        qvrocosim_reset();
        session = makeSession("/ai/0");
        configure(*session);
        qvrocosim_failCall(n, -89999);
        // Releases absorb their failures; others may cascade (a route left
        // reserved by a failed release holds its destination).
        try {
            session->sendMessage(routinghal::kMessageCommit);
        } catch (const qverr::Exception&) {
        }
        qvrocosim_failCall(0, 0);
        session->sendMessage(routinghal::kMessageReset);
        EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);
    }
}

using SendMessage = void (*)(uint64_t, uint32_t, qvhost_status*);
using DeploySignal = void (*)(uint64_t, uint32_t, const char*, qvhost_status*);
using DeployInternal = void (*)(uint64_t, const char*, const char*, qvhost_status*);
using GetTerminalName = const char* (*)(uint64_t, uint32_t, qvhost_status*);

// On the routing context of an acquisition session the library opened on
// the simulated module: the same route control as the fixture above's.
class RoutingExports : public RoutingSession {
protected:
    void SetUp() override {
        RoutingSession::SetUp();
        exported = std::make_unique<qvtest::LibraryContext>(
            library, module, "ai/0", 25, qvtest::deviceParams(module, "", "Dev1"));
        handle = exported->handle();
    }
    void TearDown() override {
        exported.reset();
        RoutingSession::TearDown();
    }
    template <class Call>
    static int32_t run(Call&& call, std::string* json = nullptr) {
        return qvtest::runWithStatus(std::forward<Call>(call), json);
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    std::unique_ptr<qvtest::LibraryContext> exported;
    uint64_t handle = 0;
    SendMessage sendMessage = library.fn<SendMessage>("routinghal_sendMessage");
    DeploySignal deployImport = library.fn<DeploySignal>("routinghal_deployImportSignal");
    DeploySignal deployExport = library.fn<DeploySignal>("routinghal_deployExportSignal");
    DeployInternal deployInternal = library.fn<DeployInternal>("routinghal_deployInternalSignal");
    GetTerminalName getTerminalName = library.fn<GetTerminalName>("routinghal_getTerminalName");
};

TEST_F(RoutingExports, RouteCommitAndResetThroughTheLibrary) {
    EXPECT_EQ(run([&](qvhost_status* st) { deployImport(handle, 1, "PFI0", st); }), 0);
    EXPECT_EQ(run([&](qvhost_status* st) { deployExport(handle, 41, "PFI1,PFI2", st); }), 0);
    EXPECT_EQ(
        run([&](qvhost_status* st) { deployInternal(handle, "/Dev1/PXI_Trig0", "PFI3", st); }), 0);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 2, st); }), 0);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 4u);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 3, st); }), 0);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);

    std::string name;
    EXPECT_EQ(run([&](qvhost_status* st) { name = getTerminalName(handle, 2, st); }), 0);
    EXPECT_EQ(name, "/Dev1/ai/0/ReferenceTrigger");
}

TEST_F(RoutingExports, RefusalsReachTheCallersStatus) {
    std::string json;
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(0, 2, st); }, &json),
              qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(json, HasSubstr("HALUtilities/ErrorHandling"));
    EXPECT_EQ(run([&](qvhost_status* st) { deployInternal(handle, "PFI0", nullptr, st); }),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 4, st); }, &json),
              qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(json, HasSubstr("\"message\":\"invalid message value\""));
    const char* name = "unset";
    EXPECT_EQ(run([&](qvhost_status* st) { name = getTerminalName(handle, 43, st); }, &json),
              qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(name, nullptr);
    EXPECT_THAT(json, HasSubstr("\"terminal\":\"invalid terminal ID\""));

    // A library failure arrives with the library's own code and detail.
    qvrocosim_failEntry("initiateDeviceReset", -89131);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 3, st); }, &json), -89131);
    EXPECT_THAT(json, HasSubstr("\"function\":\"initiateDeviceReset\""));

    // An error already in the status is kept.
    qvhost_status status = qvhost_newStatus();
    sendMessage(handle, 0, &status);
    deployImport(handle, 99, "PFI0", &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(status.json, HasSubstr("invalid message value"));
    qvhost_release(&status);
}

}  // namespace
