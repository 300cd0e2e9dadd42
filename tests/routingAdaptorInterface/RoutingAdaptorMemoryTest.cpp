// The routing adaptor's entry points when memory runs out: each one that
// takes a status answers -52000 at its own line, through the shipped library.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <string>

#include "module/SimulatedModule.h"
#include "qverr/Codes.h"
#include "support/HostLibrary.h"
#include "support/RefusingNew.h"
#include "support/host/qvhost.h"

namespace {

using Realloc = void* (*)(void*, size_t);
using Status = qvhost_status*;

constexpr const char* kSeed = R"([{"terminal":"PFI0","cost":1,"constraints":{}}])";

TEST(RoutingAdaptorMemory, EveryEntryPointReportsItsOwnLine) {
    qvsim::SimulatedModule module;
    qvtest::HostLibrary library{QV_SHARED_LIBRARY};
    ASSERT_TRUE(library.loaded());
    auto fn = [&]<class F>(const char* name, F*) {
        return library.fn<F*>(std::string("qvroco_ra_qv3377hal_") + name);
    };
    using Create = void*(const char*, Realloc, Status);
    using CreateWithDemotion =
        void*(const char*, Realloc, void (*)(void*, int32_t, Status), void*, Status);
    using Calculate = uint32_t(void*, const char*, const char*, const char*, char**, Status);
    using Attribute = uint32_t(void*, const char*, Status);
    using Reset = void(void*, const char*, Status);

    // Resolved before any allocation is refused.
    const auto createSessionFn = fn("createSession", (Create*)nullptr);
    const auto getAllTerminalsFn = fn("getAllTerminals", (void* (*)(void*, Status)) nullptr);
    const auto calculateRouteFn = fn("calculateRoute", (Calculate*)nullptr);
    const auto createSessionWithDemotionFuncFn =
        fn("createSessionWithDemotionFunc", (CreateWithDemotion*)nullptr);
    const auto getHandledConstraintsFn =
        fn("getHandledConstraints", (void (*)(void*, char**, Status)) nullptr);
    const auto reserveRouteFn =
        fn("reserveRoute", (void (*)(void*, uint32_t, char**, Status)) nullptr);
    const auto programRouteFn = fn("programRoute", (void (*)(void*, uint32_t, Status)) nullptr);
    const auto getRouteTerminalPathFn =
        fn("getRouteTerminalPath", (void (*)(void*, uint32_t, char**, Status)) nullptr);
    const auto terminalIterator_nextFn =
        fn("TerminalIterator_next", (void (*)(void*, Status)) nullptr);
    const auto terminalIterator_getStringAttributeFn =
        fn("TerminalIterator_getStringAttribute",
           (const char* (*)(void*, const char*, Status)) nullptr);
    const auto terminalIterator_getBoolAttributeFn =
        fn("TerminalIterator_getBoolAttribute", (bool (*)(void*, const char*, Status)) nullptr);
    const auto terminalIterator_getU32AttributeFn =
        fn("TerminalIterator_getU32Attribute", (Attribute*)nullptr);
    const auto terminalIterator_resetTerminalFn =
        fn("TerminalIterator_resetTerminal", (Reset*)nullptr);
    const auto terminalIterator_calculateResetTerminalFn =
        fn("TerminalIterator_calculateResetTerminal",
           (uint32_t(*)(void*, void*, const char*, Status)) nullptr);
    const auto terminalIterator_destroyFn =
        fn("TerminalIterator_destroy", (void (*)(void*)) nullptr);
    const auto destroySessionFn = fn("destroySession", (void (*)(void*)) nullptr);

    const std::string device = module.devicePath();
    qvhost_status status = qvhost_newStatus();
    void* session = createSessionFn(device.c_str(), &std::realloc, &status);
    ASSERT_NE(session, nullptr) << status.json;
    void* iterator = getAllTerminalsFn(session, &status);
    char* text = nullptr;
    const uint32_t ticket =
        calculateRouteFn(session, kSeed, R"(["PXI_Trig2"])", "{}", &text, &status);
    ASSERT_EQ(status.code, 0) << status.json;
    qvhost_release(&status);

    struct Row {
        const char* entryPoint;
        std::function<void(Status)> call;
        int line;
        // The iterator's stepping and attribute reads allocate nothing: a
        // shortage of memory cannot fail them.
        bool allocates = true;
    };
    const Row rows[] = {
        {"createSessionWithDemotionFunc",
         [&](Status s) {
             createSessionWithDemotionFuncFn(device.c_str(), &std::realloc, nullptr, nullptr, s);
         },
         439},
        {"createSession", [&](Status s) { createSessionFn(device.c_str(), &std::realloc, s); },
         439},
        {"getHandledConstraints", [&](Status s) { getHandledConstraintsFn(session, &text, s); },
         41},
        {"calculateRoute",
         [&](Status s) { calculateRouteFn(session, kSeed, R"(["PXI_Trig0"])", "{}", &text, s); },
         68},
        {"reserveRoute", [&](Status s) { reserveRouteFn(session, ticket, &text, s); }, 95},
        {"programRoute", [&](Status s) { programRouteFn(session, ticket, s); }, 119},
        {"getRouteTerminalPath",
         [&](Status s) { getRouteTerminalPathFn(session, ticket, &text, s); }, 212},
        {"getAllTerminals", [&](Status s) { getAllTerminalsFn(session, s); }, 236},
        {"TerminalIterator_next", [&](Status s) { terminalIterator_nextFn(iterator, s); }, 261,
         false},
        {"TerminalIterator_getStringAttribute",
         [&](Status s) { terminalIterator_getStringAttributeFn(iterator, "name", s); }, 303, false},
        {"TerminalIterator_getBoolAttribute",
         [&](Status s) { terminalIterator_getBoolAttributeFn(iterator, "isAlias", s); }, 329,
         false},
        {"TerminalIterator_getU32Attribute",
         [&](Status s) { terminalIterator_getU32AttributeFn(iterator, "id", s); }, 355, false},
        {"TerminalIterator_resetTerminal",
         [&](Status s) { terminalIterator_resetTerminalFn(iterator, "default", s); }, 381},
        {"TerminalIterator_calculateResetTerminal",
         [&](Status s) {
             terminalIterator_calculateResetTerminalFn(session, iterator, "default", s);
         },
         406},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entryPoint);
        std::string json;
        const int32_t code = qvtest::runWithStatus(
            [&](Status s) { qvtest::allocations::refusedDuring([&] { row.call(s); }); }, &json);
        if (!row.allocates) {
            EXPECT_EQ(code, 0) << json;
            continue;
        }
        EXPECT_EQ(code, qverr::qvapalerr_memoryFull) << json;
        const std::string site =
            "\"file\":\"routingAdaptorInterface/routingAdaptorExports\",\"line\":" +
            std::to_string(row.line);
        const size_t at = json.find(site);
        EXPECT_TRUE(at != std::string::npos &&
                    !std::isdigit(static_cast<unsigned char>(json[at + site.size()])))
            << json;
    }

    terminalIterator_destroyFn(iterator);
    destroySessionFn(session);
    std::free(text);
}

}  // namespace
