// The routing adaptor through the shipped library, as a routing host calls
// it, on the simulated module.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "apal_qv3377k/DriverCodes.h"
#include "kerneldriver/Driver.h"
#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/DetailPair.h"
#include "support/ForkedChild.h"
#include "support/HostLibrary.h"
#include "support/SelfProcess.h"
#include "support/host/qvhost.h"

namespace {

using ::testing::HasSubstr;

using Realloc = void* (*)(void*, size_t);
using Status = qvhost_status*;

#define RA_ENTRY(member, name) library.fn<decltype(member)>("qvroco_ra_qv3377hal_" #name)

constexpr const char* kSeed = R"([{"terminal":"PFI0","cost":1,"constraints":{}}])";

struct Callbacks {
    std::atomic<int> count{0};
    std::atomic<int> event{0};
    std::atomic<int> statusCode{1};
    std::atomic<std::thread::id> thread{};
};

void onDemotion(void* context, int32_t event, qvhost_status* status) {
    auto* callbacks = static_cast<Callbacks*>(context);
    callbacks->event = event;
    callbacks->statusCode = status->code;
    callbacks->thread = std::this_thread::get_id();
    ++callbacks->count;
}

class RoutingAdaptor : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.loaded()); }
    void TearDown() override {
        if (session) destroy(session);
        std::free(text);
        qvhost_release(&status);
    }

    void* create(const char* path, Callbacks* callbacks = nullptr) {
        return createWithDemotion(path, &std::realloc, callbacks ? &onDemotion : nullptr, callbacks,
                                  &status);
    }
    void open(Callbacks* callbacks = nullptr) {
        session = create(module.devicePath().c_str(), callbacks);
        ASSERT_NE(session, nullptr) << status.json;
    }
    std::string json() const { return status.json ? status.json : ""; }
    void fresh() {
        qvhost_release(&status);
        status = qvhost_newStatus();
    }
    static void waitFor(const Callbacks& callbacks, int count) {
        for (int i = 0; i < 5000 && callbacks.count < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    uint32_t route(const char* seeds, const char* destinations, const char* modifiers = "{}") {
        return calculate(session, seeds, destinations, modifiers, &text, &status);
    }
    size_t requestsOf(const char* method) {
        size_t count = 0;
        for (const auto& request : module.decoder().requests()) count += request.name() == method;
        return count;
    }

    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    qvhost_status status = qvhost_newStatus();
    void* session = nullptr;
    char* text = nullptr;
    void* (*createWithDemotion)(const char*, Realloc, void (*)(void*, int32_t, Status), void*,
                                Status) = RA_ENTRY(createWithDemotion,
                                                   createSessionWithDemotionFunc);
    void (*destroy)(void*) = RA_ENTRY(destroy, destroySession);
    uint32_t (*calculate)(void*, const char*, const char*, const char*, char**,
                          Status) = RA_ENTRY(calculate, calculateRoute);
    void (*reserve)(void*, uint32_t, char**, Status) = RA_ENTRY(reserve, reserveRoute);
    void (*path)(void*, uint32_t, char**, Status) = RA_ENTRY(path, getRouteTerminalPath);
    void (*program)(void*, uint32_t, Status) = RA_ENTRY(program, programRoute);
    void (*unprogram)(void*, uint32_t) = RA_ENTRY(unprogram, unprogramRoute);
    void* (*getAll)(void*, Status) = RA_ENTRY(getAll, getAllTerminals);
    void (*next)(void*, Status) = RA_ENTRY(next, TerminalIterator_next);
    uint32_t (*getU32)(void*, const char*, Status) = RA_ENTRY(getU32,
                                                              TerminalIterator_getU32Attribute);
    const char* (*getString)(void*, const char*,
                             Status) = RA_ENTRY(getString, TerminalIterator_getStringAttribute);
    void (*reset)(void*, const char*, Status) = RA_ENTRY(reset, TerminalIterator_resetTerminal);
    void (*destroyIterator)(void*) = RA_ENTRY(destroyIterator, TerminalIterator_destroy);
};

TEST_F(RoutingAdaptor, AHostsRoundThroughEveryEntryPoint) {
    EXPECT_EQ(library.fn<uint32_t (*)()>("qvroco_ra_qv3377hal_getAPIVersion")(), 3u);
    // A session without a callback, then the one the host keeps.
    void* plain = library.fn<void* (*)(const char*, Realloc, Status)>(
        "qvroco_ra_qv3377hal_createSession")(module.devicePath().c_str(), &std::realloc, &status);
    ASSERT_NE(plain, nullptr) << json();
    destroy(plain);
    open();
    library.fn<void (*)(void*, char**, Status)>("qvroco_ra_qv3377hal_getHandledConstraints")(
        session, &text, &status);
    EXPECT_STREQ(text, R"(["inversionNeeded"])");

    bool (*isEnd)(void*) = RA_ENTRY(isEnd, TerminalIterator_isEnd);
    bool (*getBool)(void*, const char*, Status) =
        RA_ENTRY(getBool, TerminalIterator_getBoolAttribute);
    uint32_t (*calculateReset)(void*, void*, const char*, Status) =
        RA_ENTRY(calculateReset, TerminalIterator_calculateResetTerminal);
    // Every terminal, with its attributes.
    void* iterator = getAll(session, &status);
    unsigned count = 0;
    for (; iterator != nullptr && !isEnd(iterator); next(iterator, &status), ++count) {
        if (std::string(getString(iterator, "name", &status)) != "PFI0") continue;
        EXPECT_EQ(getU32(iterator, "id", &status), 14u);
        EXPECT_FALSE(getBool(iterator, "isAlias", &status));
        reset(iterator, "floating", &status);
        EXPECT_EQ(calculateReset(session, iterator, "default", &status), 14u);
    }
    destroyIterator(iterator);
    EXPECT_EQ(count, 370u);
    ASSERT_EQ(status.code, 0) << json();

    const uint32_t ticket = route(kSeed, R"(["PXI_Trig2"])");
    EXPECT_THAT(std::string(text),
                HasSubstr(R"("destination":"PXI_Trig2","cost":2,"indexOfStartingSeed":0)"));
    reserve(session, ticket, &text, &status);
    program(session, ticket, &status);
    path(session, ticket, &text, &status);
    EXPECT_STREQ(text, R"(["PFI0","PXI_Trig2"])");
    unprogram(session, ticket);
    void (*unreserve)(void*, uint32_t) = RA_ENTRY(unreserve, unreserveRoute);
    void (*beginDestruction)(void*, uint32_t) =
        RA_ENTRY(beginDestruction, beginExceptionalRouteDestruction);
    void (*destroyRoute)(void*, uint32_t) = RA_ENTRY(destroyRoute, destroyRoute);
    unreserve(session, ticket);
    beginDestruction(session, ticket);
    destroyRoute(session, ticket);
    EXPECT_EQ(status.code, 0) << json();
    // Gone now: the driver's refusal reaches the host only where it takes a
    // status.
    destroyRoute(session, ticket);
    program(session, ticket, &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_resourceNotFound);
}

TEST_F(RoutingAdaptor, CreationFailuresLeaveNothingBehind) {
    const size_t threads = qvsim::processThreadsBaseline();
    const size_t descriptors = qvsim::processDescriptors();
    EXPECT_EQ(create("/nonexistent/qv3377k"), nullptr);
    EXPECT_LT(status.code, 0);
    // An error already in the status: nothing is opened.
    EXPECT_EQ(create(module.devicePath().c_str()), nullptr);
    EXPECT_TRUE(module.decoder().requests().empty());

    fresh();
    module.routing().topographyName = "topOther";
    EXPECT_EQ(create(module.devicePath().c_str()), nullptr);
    EXPECT_EQ(status.code, qverr::qvpalerr_badSelector);
    EXPECT_THAT(json(), HasSubstr(R"("qvark_debug":"Topography not found: topOther")"));
    // A driver that fills the whole name buffer still names a text.
    fresh();
    module.routing().topographyName = std::string(200, 'x');
    EXPECT_EQ(create(module.devicePath().c_str()), nullptr);
    EXPECT_THAT(json(), HasSubstr("Topography not found: " + std::string(127, 'x') + "\""));

    // Unsafe arguments are refused, not followed.
    fresh();
    EXPECT_EQ(create(std::string(256, 'a').c_str()), nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    fresh();
    EXPECT_EQ(createWithDemotion(module.devicePath().c_str(), nullptr, nullptr, nullptr, &status),
              nullptr);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

TEST_F(RoutingAdaptor, CalculatesRoutesFromTheRequestTexts) {
    open();
    // Nothing to route: "[]" and ticket 0 without a request.
    EXPECT_EQ(route("[]", R"(["PFI0"])"), 0u);
    EXPECT_STREQ(text, "[]");
    EXPECT_EQ(route(kSeed, R"(["PFI0"])", R"({"required":{"other":true}})"), 0u);
    EXPECT_STREQ(text, "[]");
    EXPECT_EQ(requestsOf("routing.calculateRoute"), 0u);

    const uint32_t ticket = route(
        R"([{"terminal":"pfi0","cost":4,"constraints":{"inversionNeeded":true}}])",
        R"(["ao/0/PXI_Trig1","unknown"])", R"({"required":{"calculateIgnoresReservations":true}})");
    ASSERT_EQ(status.code, 0) << json();
    EXPECT_NE(ticket, 0u);
    const auto sent = module.decoder().last("routing.calculateRoute");
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->value("modifierFlags"), 1);
    EXPECT_EQ(sent->value("entryCount"), 4);
    const std::string t = std::to_string(ticket);
    EXPECT_EQ(
        std::string(text),
        R"([{"ticket":)" + t +
            R"(,"destination":"PXI_Trig1","cost":5,"indexOfStartingSeed":0,"constraints":{"inversionNeeded":true}},)"
            R"({"ticket":)" +
            t +
            R"(,"destination":"","cost":5,"indexOfStartingSeed":0,"constraints":{"inversionNeeded":true}}])");

    // A parse error sends nothing and hands nothing back.
    std::free(text);
    text = nullptr;
    EXPECT_EQ(route(R"([{"terminal":"PFI0","constraints":{}}])", R"(["PFI0"])"), 0u);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_THAT(json(), HasSubstr("cost field missing or invalid"));
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(requestsOf("routing.calculateRoute"), 1u);
}

TEST_F(RoutingAdaptor, RecalculatesOnceWhenTheDriverHasMoreLegs) {
    open();
    module.routing().legsPerDestination = 3;
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    ASSERT_EQ(status.code, 0) << json();
    EXPECT_EQ(requestsOf("routing.calculateRoute"), 2u);
    EXPECT_EQ(requestsOf("routing.destroyRoute"), 1u);
    EXPECT_EQ(module.routing().routes.count(ticket), 1u);
    EXPECT_THAT(std::string(text), HasSubstr(R"("cost":4)"));
    EXPECT_EQ(std::string(text).find(R"("destination":"FLOAT")"), std::string::npos);

    // A driver that keeps reporting more than it was given room for.
    module.on("routing.calculateRoute",
              [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                  reply.set("return", 77);
                  reply.set("entryCount", request.value("entryCount") + 1);
                  return 0;
              });
    EXPECT_EQ(route(kSeed, R"(["PXI_Trig0"])"), 0u);
    EXPECT_EQ(status.code, qverr::qvapalerr_bufferTooSmall);
    EXPECT_STREQ(text, "[]");
}

TEST_F(RoutingAdaptor, ReportsReservationConflictsUpToTheCapacity) {
    open();
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    for (uint32_t i = 0; i < 10; ++i) module.routing().conflicts.emplace_back(0xABC0 + i, 50 + i);
    reserve(session, ticket, &text, &status);
    EXPECT_EQ(status.code, sdihal::kDriverErrorReservationConflict);
    std::string expected = "[";
    for (uint32_t i = 0; i < 8; ++i) {
        expected += (i ? "," : "") + std::string(R"({"sessionId":)") + std::to_string(0xABC0 + i) +
                    R"(,"ticket":)" + std::to_string(50 + i) + "}";
    }
    EXPECT_EQ(std::string(text), expected + "]");
    // No conflict: nothing handed back.
    module.routing().conflicts.clear();
    fresh();
    std::free(text);
    text = nullptr;
    reserve(session, ticket, &text, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(text, nullptr);
}

TEST_F(RoutingAdaptor, LongPathsRaiseTheCapacityForLaterCalls) {
    open();
    module.routing().pathPadding = 38;
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    path(session, ticket, &text, &status);
    ASSERT_EQ(status.code, 0) << json();
    std::string expected = R"(["PFI0","PXI_Trig0")";
    for (int i = 0; i < 32; ++i) expected += ",\"GpioInputToAppDest" + std::to_string(i) + "\"";
    expected += R"(,"Low","High","UserSource0","UserSource1","UserSource2","UserSource3")";
    EXPECT_EQ(std::string(text), expected + "]");
    path(session, ticket, &text, &status);
    EXPECT_EQ(requestsOf("routing.getRouteTerminalPath"), 3u);
    EXPECT_EQ(module.decoder().last("routing.getRouteTerminalPath")->value("idCount"), 40);

    // Null text pointers are refused.
    path(session, ticket, nullptr, &status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
}

TEST_F(RoutingAdaptor, IteratorStopsAtItsEnd) {
    open();
    void* iterator = getAll(session, &status);
    ASSERT_NE(iterator, nullptr);
    EXPECT_EQ(getU32(iterator, "busLine", &status), 0xFFFFFFFFu);
    EXPECT_EQ(getU32(iterator, "visibility", &status), 0u);
    EXPECT_EQ(status.code, qverr::qvpalerr_badSelector);
    fresh();
    reset(iterator, "Default", &status);
    EXPECT_EQ(status.code, qverr::qvpalerr_badSelector);
    EXPECT_TRUE(module.routing().resets.empty());
    fresh();

    for (int i = 0; i < 400; ++i) next(iterator, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(getString(iterator, "name", &status), nullptr);
    EXPECT_EQ(status.code, qverr::qvpalerr_badSelector);
    destroyIterator(iterator);
    destroyIterator(nullptr);
    destroy(nullptr);
}

TEST_F(RoutingAdaptor, RefusalsNameWhatWasWrongInTheDebugMember) {
    open();
    void* iterator = getAll(session, &status);
    void* ended = getAll(session, &status);
    for (int i = 0; i < 400; ++i) next(ended, &status);
    ASSERT_EQ(status.code, 0) << json();
    uint32_t (*calculateReset)(void*, void*, const char*, Status) =
        RA_ENTRY(calculateReset, TerminalIterator_calculateResetTerminal);
    void (*constraints)(void*, char**, Status) = RA_ENTRY(constraints, getHandledConstraints);
    // A host whose allocator has nothing left.
    void* starved = createWithDemotion(
        module.devicePath().c_str(), [](void*, size_t) -> void* { return nullptr; }, nullptr,
        nullptr, &status);
    ASSERT_NE(starved, nullptr) << json();
    const struct {
        std::function<void()> call;
        int32_t code;
        const char* text;
    } cases[] = {
        {[&] { reset(iterator, "Default", &status); }, qverr::qvpalerr_badSelector,
         "unknown reset mode"},
        {[&] { calculateReset(session, iterator, "bogus", &status); }, qverr::qvpalerr_badSelector,
         "unknown reset mode"},
        {[&] { getU32(iterator, "visibility", &status); }, qverr::qvpalerr_badSelector,
         "unknown attribute name"},
        {[&] { getString(ended, "name", &status); }, qverr::qvpalerr_badSelector,
         "iterator past the last terminal"},
        {[&] { calculateReset(session, ended, "default", &status); }, qverr::qvpalerr_badSelector,
         "iterator past the last terminal"},
        {[&] { create(std::string(256, 'a').c_str()); }, qverr::qvapalerr_invalidParameter,
         "null or overlong device path or null realloc function"},
        {[&] {
             createWithDemotion(module.devicePath().c_str(), nullptr, nullptr, nullptr, &status);
         },
         qverr::qvapalerr_invalidParameter,
         "null or overlong device path or null realloc function"},
        {[&] { constraints(session, nullptr, &status); }, qverr::qvapalerr_invalidParameter,
         "null output pointer"},
        {[&] { calculate(session, kSeed, R"(["PXI_Trig0"])", "{}", nullptr, &status); },
         qverr::qvapalerr_invalidParameter, "null output pointer"},
        {[&] { reserve(session, 1, nullptr, &status); }, qverr::qvapalerr_invalidParameter,
         "null output pointer"},
        {[&] { path(session, 1, nullptr, &status); }, qverr::qvapalerr_invalidParameter,
         "null output pointer"},
        {[&] { constraints(starved, &text, &status); }, qverr::qvapalerr_memoryFull,
         "out of memory for a route text"},
        {[&] {
             module.on("routing.calculateRoute",
                       [](const qvsim::DecodedRequest& request, qvsim::Reply& reply) {
                           reply.set("return", 77);
                           reply.set("entryCount", request.value("entryCount") + 1);
                           return 0;
                       });
             route(kSeed, R"(["PXI_Trig0"])");
         },
         qverr::qvapalerr_bufferTooSmall, "route has more entries than the reply holds"},
    };
    for (const auto& c : cases) {
        fresh();
        c.call();
        EXPECT_EQ(status.code, c.code) << c.text;
        EXPECT_THAT(json(), HasSubstr(qvtest::detailPair("qvark_debug", c.text)));
    }
    destroy(starved);
    destroyIterator(iterator);
    destroyIterator(ended);
}

TEST_F(RoutingAdaptor, DemotionCallsBackOnTheReaderThreadOnly) {
    Callbacks callbacks;
    open(&callbacks);
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    ASSERT_TRUE(module.routing().demote(ticket));
    waitFor(callbacks, 1);
    EXPECT_EQ(callbacks.event, 101);
    EXPECT_EQ(callbacks.statusCode, 0);
    EXPECT_NE(callbacks.thread.load(), std::this_thread::get_id());

    // A kind-2 notice, and a notice whose value is not the registered
    // object, call nothing back; notices of an unknown kind fail the read,
    // and the reader reads on.
    const auto registration = module.driver().registrations().back();
    uint32_t payload = 0;
    module.driver().notify(registration.portId, 2, registration.object, &payload, 4);
    module.driver().notify(registration.portId, 1, registration.object + 8, &payload, 4);
    for (int i = 0; i < 3; ++i)
        module.driver().notify(registration.portId, 3, registration.object, &payload, 4);
    ASSERT_TRUE(module.routing().demote(ticket));
    waitFor(callbacks, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(callbacks.count, 2);
}

TEST_F(RoutingAdaptor, DemotionsDuringHostCallsAndDestroyJoins) {
    Callbacks callbacks;
    const size_t threads = qvsim::processThreadsBaseline();
    open(&callbacks);
    EXPECT_EQ(qvsim::processThreads(), threads + 1);
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread demoter([&] {
        while (!stop) {
            sent += module.routing().demote(ticket);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // Host calls until a number of demotions went out meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; i < 50 || (sent < 20 && std::chrono::steady_clock::now() < deadline); ++i) {
        route(kSeed, R"(["PXI_Trig1"])");
        path(session, ticket, &text, &status);
    }
    stop = true;
    demoter.join();
    EXPECT_EQ(status.code, 0) << json();
    waitFor(callbacks, 1);
    EXPECT_GT(callbacks.count, 0) << sent;
    destroy(session);
    session = nullptr;
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
}

// A child forked by the host may destroy the session it inherited: the
// reader thread and the notice registration stay the parent's, and the
// child's leak check at exit finds nothing of theirs.
TEST_F(RoutingAdaptor, AForkedChildDestroysItsInheritedSessionAndTheParentGoesOn) {
    Callbacks callbacks;
    open(&callbacks);
    const uint32_t ticket = route(kSeed, R"(["PXI_Trig0"])");
    ASSERT_TRUE(qvtest::otherThreadsSettle(std::chrono::seconds(10)));
    qvtest::leakCheckInForkedChildren = true;
    const pid_t child = fork();
    if (child == 0) {
        destroy(session);
        exit(0);
    }
    qvtest::leakCheckInForkedChildren = false;
    EXPECT_EQ(qvtest::waitForExitWithin(child, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(module.routing().demote(ticket));
    waitFor(callbacks, 1);
    EXPECT_EQ(callbacks.count, 1);
    route(kSeed, R"(["PXI_Trig1"])");
    EXPECT_EQ(status.code, 0) << json();
}

}  // namespace
