// The routinghal_ exports of the shipped library, called by name as a C
// driver calls them, on a session built here (its address is the handle).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "RoutingHALImpl/RoutingHALSession.h"
#include "rocoapi/qvrocosim.h"
#include "support/HostLibrary.h"

namespace {

using ::testing::HasSubstr;

using SendMessage = void (*)(uint64_t, uint32_t, qvhost_status*);
using DeploySignal = void (*)(uint64_t, uint32_t, const char*, qvhost_status*);
using DeployInternal = void (*)(uint64_t, const char*, const char*, qvhost_status*);
using GetTerminalName = const char* (*)(uint64_t, uint32_t, qvhost_status*);

class RoutingExports : public ::testing::Test {
protected:
    void SetUp() override {
        qvrocosim_reset();
        ASSERT_TRUE(library.loaded());
    }
    void TearDown() override {
        session.reset();
        qvrocosim_reset();
    }

    // Runs `call` with a fresh status; its code, and its JSON in *json.
    template <class Call>
    int32_t run(Call&& call, std::string* json = nullptr) {
        qvhost_status status = qvhost_newStatus();
        call(&status);
        const int32_t code = status.code;
        if (json != nullptr) *json = status.json != nullptr ? status.json : "";
        qvhost_release(&status);
        return code;
    }

    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    std::unique_ptr<routinghal::RoutingHALSession> session =
        std::make_unique<routinghal::RoutingHALSession>("Dev1", "/ao/0",
                                                        std::make_unique<rocout::RoCoSession>());
    uint64_t handle = reinterpret_cast<uint64_t>(session.get());
    SendMessage sendMessage = library.fn<SendMessage>("routinghal_sendMessage");
    DeploySignal deployImport = library.fn<DeploySignal>("routinghal_deployImportSignal");
    DeploySignal deployExport = library.fn<DeploySignal>("routinghal_deployExportSignal");
    DeployInternal deployInternal = library.fn<DeployInternal>("routinghal_deployInternalSignal");
    GetTerminalName getTerminalName = library.fn<GetTerminalName>("routinghal_getTerminalName");
};

TEST_F(RoutingExports, RouteCommitAndResetThroughTheLibrary) {
    EXPECT_EQ(run([&](qvhost_status* st) { deployImport(handle, 1, "PFI0", st); }), 0);
    EXPECT_EQ(run([&](qvhost_status* st) { deployExport(handle, 40, "PFI1,PFI2", st); }), 0);
    EXPECT_EQ(run([&](qvhost_status* st) { deployInternal(handle, "/Dev1/PXI_Trig0", "PFI3", st); }), 0);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 2, st); }), 0);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 4u);
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, 3, st); }), 0);
    EXPECT_EQ(qvrocosim_programmedRouteCount(), 0u);

    std::string name;
    EXPECT_EQ(run([&](qvhost_status* st) { name = getTerminalName(handle, 2, st); }), 0);
    EXPECT_EQ(name, "/Dev1/ao/0/ReferenceTrigger");
}

TEST_F(RoutingExports, RefusalsReachTheCallersStatus) {
    std::string json;
    EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(0, 2, st); }, &json), -52005);
    EXPECT_THAT(json, HasSubstr("HALUtilities/ErrorHandling"));
    EXPECT_EQ(run([&](qvhost_status* st) { deployImport(handle, 1, nullptr, st); }), -52005);
    EXPECT_EQ(run([&](qvhost_status* st) { deployExport(handle, 1, nullptr, st); }), -52005);
    EXPECT_EQ(run([&](qvhost_status* st) { deployInternal(handle, nullptr, "PFI0", st); }), -52005);
    EXPECT_EQ(run([&](qvhost_status* st) { deployInternal(handle, "PFI0", nullptr, st); }), -52005);
    for (uint32_t message : {0u, 1u, 4u}) {
        EXPECT_EQ(run([&](qvhost_status* st) { sendMessage(handle, message, st); }, &json), -52005);
        EXPECT_THAT(json, HasSubstr("\"message\":\"invalid message value\""));
    }
    const char* name = "unset";
    EXPECT_EQ(run([&](qvhost_status* st) { name = getTerminalName(handle, 43, st); }, &json), -52005);
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
    EXPECT_EQ(status.code, -52005);
    EXPECT_THAT(status.json, HasSubstr("invalid message value"));
    qvhost_release(&status);
}

TEST_F(RoutingExports, ANullStatusMakesEveryCallDoNothing) {
    sendMessage(handle, 2, nullptr);
    deployImport(handle, 1, "PFI0", nullptr);
    deployExport(handle, 1, "PFI0", nullptr);
    deployInternal(handle, "PFI0", "PFI1", nullptr);
    EXPECT_EQ(getTerminalName(handle, 1, nullptr), nullptr);
    EXPECT_EQ(qvrocosim_callCount(), 0u);
    EXPECT_EQ(session->internalRouteCount(), 0u);
}

}  // namespace
