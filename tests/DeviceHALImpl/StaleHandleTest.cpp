// Closed and made-up handles of every kind, and contexts of another family,
// through the shipped library: each is refused as a 0 handle is, with the
// detail that the handle is unknown, and a second close does nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "qverr/Codes.h"
#include "support/EndsWithin.h"
#include "support/HostLibrary.h"
#include "support/SelfProcess.h"

namespace {

using Status = qvhost_status*;

class StaleHandles : public ::testing::Test, public devicetest::DeviceHost {
protected:
    void SetUp() override { ASSERT_TRUE(library.loaded()); }

    // A closed handle of the kind, then two made-up ones.
    std::vector<uint64_t> badHandles(uint64_t closed) {
        return {closed, 0x5a5a5a5a5a5a5a5aull, reinterpret_cast<uint64_t>(&stackVariable)};
    }
    // The JSON detail a status-last call reports.
    template <class Call>
    std::string detailOf(Call&& call) {
        std::string json;
        EXPECT_EQ(qvtest::runWithStatus(std::forward<Call>(call), &json),
                  qverr::qvapalerr_invalidParameter);
        return json;
    }
    // What the 0 handle reports, with "unknown handle" in place of
    // `nullText` (of no pair at all when null), so that both share code and
    // location.
    static void expectSameAsNull(const std::string& unknown, const std::string& null,
                                 const char* key, const char* nullText = "null handle") {
        const std::string pair = std::string("\"") + key + "\":\"unknown handle\"";
        const size_t at = unknown.find(pair);
        ASSERT_NE(at, std::string::npos) << unknown;
        std::string expected = unknown;
        if (nullText == nullptr) {
            expected.erase(at - 1, pair.size() + 1);  // with its comma
        } else {
            expected.replace(expected.find("unknown handle"), 14, nullText);
        }
        EXPECT_EQ(expected, null);
    }

    int stackVariable = 0;
};

TEST_F(StaleHandles, DeviceSessionsAndTheirContexts) {
    qvtest::OwnedHandle session = openSession("ao/0", params("", false));
    const uint64_t device = session;
    const uint64_t trigger = context(device, 10);
    const uint64_t data = context(device, 32);
    uint64_t handle = 0;
    ASSERT_EQ(library.fn<int32_t (*)(uint64_t, uint64_t, uint64_t*)>("trig_open")(device, trigger,
                                                                                  &handle),
              0);
    session.close();
    close(device);  // a second close does nothing
    auto sendTrigger = library.fn<int32_t (*)(uint64_t, uint32_t)>("trig_sendSoftwareTrigger");
    auto reservationOpen =
        library.fn<int32_t (*)(uint64_t, uint64_t, uint64_t*)>("reservation_open");
    auto accessors =
        library.fn<void (*)(uint64_t, uint64_t*, uint64_t*, Status)>("da_getAccessors");
    for (const uint64_t bad : badHandles(device)) {
        uint64_t out = 7;
        EXPECT_EQ(getContext(bad, 10, 0, &out), qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(out, 7u);
        uint64_t slot = 0;
        EXPECT_EQ(reservationOpen(bad, 1, &slot), qverr::qvapalerr_invalidParameter);
        close(bad);
    }
    for (const uint64_t bad : badHandles(handle))
        EXPECT_EQ(sendTrigger(bad, 1), qverr::qvapalerr_invalidParameter);
    uint64_t count = 0;
    const std::string null = detailOf([&](Status s) { accessors(0, nullptr, &count, s); });
    for (const uint64_t bad : badHandles(data)) {
        expectSameAsNull(detailOf([&](Status s) { accessors(bad, nullptr, &count, s); }), null,
                         "sessionPtrFromHandle", nullptr);
    }
}

TEST_F(StaleHandles, ModulePlatformAndPeerToPeerSessions) {
    using RfOpen = int32_t (*)(const char*, const char*, uint64_t*);
    uint64_t rf = 0;
    ASSERT_EQ(library.fn<RfOpen>("rfplat_open")(params("", false).c_str(), "", &rf), 0);
    auto rfClose = library.fn<void (*)(uint64_t)>("rfplat_close");
    rfClose(rf);
    rfClose(rf);
    auto selfTest = library.fn<void (*)(uint64_t, const char*, Status)>("rfplat_selfTest");
    auto version = library.fn<int32_t (*)(uint64_t, uint32_t*)>("rfplat_getDriverInterfaceVersion");
    const std::string null = detailOf([&](Status s) { selfTest(0, "", s); });
    for (const uint64_t bad : badHandles(rf)) {
        uint32_t v = 0;
        EXPECT_EQ(version(bad, &v), qverr::qvapalerr_invalidParameter);
        expectSameAsNull(detailOf([&](Status s) { selfTest(bad, "", s); }), null,
                         "sessionPtrFromHandle", nullptr);
        rfClose(bad);
    }

    const qvtest::OwnedHandle device = openSession("ao/0", params());
    const std::string description = reinterpret_cast<const char*>(context(device, 17));
    void* p2p = nullptr;
    ASSERT_EQ(library.fn<int32_t (*)(const char*, const char*, void**)>("p2p_open")(
                  params().c_str(), description.c_str(), &p2p),
              0);
    auto p2pClose = library.fn<int32_t (*)(void*)>("p2p_close");
    EXPECT_EQ(p2pClose(p2p), 0);
    auto count = library.fn<int32_t (*)(void*, uint64_t*)>("p2p_getNumEndpointsAvailable");
    for (const uint64_t bad : badHandles(reinterpret_cast<uint64_t>(p2p))) {
        uint64_t n = 0;
        EXPECT_EQ(count(reinterpret_cast<void*>(bad), &n), qverr::qvapalerr_invalidParameter);
        EXPECT_EQ(p2pClose(reinterpret_cast<void*>(bad)), qverr::qvapalerr_invalidParameter);
    }
}

TEST_F(StaleHandles, InstructionTargets) {
    auto open = library.fn<void* (*)(const char*, Status)>("qvIFW_Target_libqv3377hal_Open");
    auto closeTarget = library.fn<void (*)(void*, Status)>("qvIFW_Target_libqv3377hal_Close");
    using WriteArray = void (*)(void*, const void*, size_t, bool, uint32_t, Status);
    auto writeArray = library.fn<WriteArray>("qvIFW_Target_libqv3377hal_WriteArray");
    const std::string json = "{\"deviceInterfacePath\": \"" + module.devicePath() + "\"}";
    qvhost_status status = qvhost_newStatus();
    void* target = open(json.c_str(), &status);
    ASSERT_NE(target, nullptr) << (status.json ? status.json : "");
    qvhost_release(&status);
    EXPECT_EQ(qvtest::runWithStatus([&](Status s) { closeTarget(target, s); }), 0);
    const std::string null = detailOf([&](Status s) { closeTarget(nullptr, s); });
    const uint32_t word = 0;
    for (const uint64_t bad : badHandles(reinterpret_cast<uint64_t>(target))) {
        void* handle = reinterpret_cast<void*>(bad);
        expectSameAsNull(detailOf([&](Status s) { closeTarget(handle, s); }), null,
                         "targetFromHandle", nullptr);
        expectSameAsNull(detailOf([&](Status s) { writeArray(handle, &word, 1, false, 0, s); }),
                         null, "targetFromHandle", nullptr);
    }
}

TEST_F(StaleHandles, RoutingAdaptorSessionsAndIterators) {
    using Realloc = void* (*)(void*, size_t);
    auto create =
        library.fn<void* (*)(const char*, Realloc, Status)>("qvroco_ra_qv3377hal_createSession");
    auto destroy = library.fn<void (*)(void*)>("qvroco_ra_qv3377hal_destroySession");
    auto terminals = library.fn<void* (*)(void*, Status)>("qvroco_ra_qv3377hal_getAllTerminals");
    auto next = library.fn<void (*)(void*, Status)>("qvroco_ra_qv3377hal_TerminalIterator_next");
    auto destroyIterator =
        library.fn<void (*)(void*)>("qvroco_ra_qv3377hal_TerminalIterator_destroy");
    qvhost_status status = qvhost_newStatus();
    void* session = create(module.devicePath().c_str(), &std::realloc, &status);
    ASSERT_NE(session, nullptr);
    void* iterator = terminals(session, &status);
    void* orphan = terminals(session, &status);
    ASSERT_EQ(status.code, 0);
    qvhost_release(&status);
    destroyIterator(iterator);
    destroyIterator(iterator);
    destroyIterator(nullptr);
    destroy(session);
    destroy(session);
    destroy(nullptr);

    const std::string nullSession = detailOf([&](Status s) { terminals(nullptr, s); });
    const std::string nullIterator = detailOf([&](Status s) { next(nullptr, s); });
    // An iterator whose session is gone can only be destroyed, also once a
    // later session takes that session's address (as the allocator soon
    // lets one do).
    expectSameAsNull(detailOf([&](Status s) { next(orphan, s); }), nullIterator,
                     "iteratorFromHandle");
    std::vector<void*> later;
    while (later.size() < 16 && (later.empty() || later.back() != session)) {
        later.push_back(create(module.devicePath().c_str(), &std::realloc, &status));
        ASSERT_NE(later.back(), nullptr);
    }
    const bool reused = later.back() == session;
    expectSameAsNull(detailOf([&](Status s) { next(orphan, s); }), nullIterator,
                     "iteratorFromHandle");
    for (void* made : later) destroy(made);
    destroyIterator(orphan);
    for (const uint64_t bad : badHandles(reinterpret_cast<uint64_t>(session))) {
        expectSameAsNull(detailOf([&](Status s) { terminals(reinterpret_cast<void*>(bad), s); }),
                         nullSession, "sessionFromHandle");
        destroy(reinterpret_cast<void*>(bad));
    }
    for (const uint64_t bad : badHandles(reinterpret_cast<uint64_t>(iterator))) {
        expectSameAsNull(detailOf([&](Status s) { next(reinterpret_cast<void*>(bad), s); }),
                         nullIterator, "iteratorFromHandle");
        destroyIterator(reinterpret_cast<void*>(bad));
    }
    // An allocator that keeps freed memory aside (the address checker's
    // quarantine) gives no later session the old address.
    if (!reused) GTEST_SKIP() << "no later session took the destroyed session's address";
}

// Every operation of every family that has operations, given each live
// context of the other families (of an acquisition and a generation
// session), is refused as an unknown handle: its names are those the
// library exports. The arguments after the handle point at zeroed memory
// (status-last families: at the status), which no refused call reads.
TEST_F(StaleHandles, EveryFamilyRefusesTheContextsOfEveryOtherFamily) {
    const std::map<std::string, std::set<uint32_t>> families = {
        {"da_", {32}},      {"datapath_", {0}},     {"trig_", {10}},       {"timer_", {23}},
        {"selfcal_", {24}}, {"reservation_", {28}}, {"syntrasync_", {19}}, {"routinghal_", {25}},
    };
    const std::set<std::string> statusLast = {"da_", "routinghal_"};
    // Its code whatever the handle.
    const std::set<std::string> fixedCode = {"syntrasync_applyFineAdjustment"};

    std::map<std::string, std::vector<std::string>> operations;
    std::ifstream map(QV_EXPORT_MAP);
    for (std::string word; map >> word;) {
        if (word.back() != ';') continue;
        word.pop_back();
        for (const auto& [prefix, ids] : families) {
            if (word.rfind(prefix, 0) == 0 && word != prefix + "open" && word != prefix + "close")
                operations[prefix].push_back(word);
        }
    }
    ASSERT_EQ(operations.size(), families.size());

    const qvtest::OwnedHandle acquisition = openSession("ai/0", params());
    const qvtest::OwnedHandle generation = openSession("ao/0", params());
    std::vector<std::pair<uint32_t, uint64_t>> contexts;
    for (const uint64_t device : {uint64_t{acquisition}, uint64_t{generation}}) {
        for (uint32_t id = 0; id <= 33; ++id) {
            uint64_t out = 0;
            if (getContext(device, id, 0, &out) == 0 && out != 0 && id != 11 && id != 17 &&
                id != 21) {
                contexts.emplace_back(id, out);
            }
        }
    }
    ASSERT_GT(contexts.size(), 30u);

    // Enough arguments for the longest operation: past the sixth they go on
    // the stack, which the caller clears.
    using ReturnCode = int32_t (*)(uint64_t, void*, void*, void*, void*, void*, void*, void*, void*,
                                   void*, void*, void*);
    using StatusLast = void (*)(uint64_t, Status, Status, Status, Status, Status, Status, Status,
                                Status, Status, Status, Status);
    alignas(16) uint64_t zeroed[64] = {};
    size_t calls = 0;
    for (const auto& [prefix, names] : operations) {
        for (const std::string& name : names) {
            for (const auto& [id, address] : contexts) {
                const uint64_t handle = address;
                if (families.at(prefix).count(id) || fixedCode.count(name)) continue;
                SCOPED_TRACE(name + " given context " + std::to_string(id));
                ++calls;
                if (statusLast.count(prefix)) {
                    auto call = library.fn<StatusLast>(name);
                    EXPECT_NE(detailOf([&](Status s) {
                                  call(handle, s, s, s, s, s, s, s, s, s, s, s);
                              }).find("\"sessionPtrFromHandle\":\"unknown handle\""),
                              std::string::npos);
                } else {
                    void* z = zeroed;
                    EXPECT_EQ(library.fn<ReturnCode>(name)(handle, z, z, z, z, z, z, z, z, z, z, z),
                              qverr::qvapalerr_invalidParameter);
                }
            }
        }
    }
    EXPECT_GT(calls, 2000u);
}

// A host whose exit handler and global destructor still use sessions that
// it opened in main, run as a process of its own that exits through them:
// each call behaves as on a live or a closed handle.
namespace exitHost {

devicetest::DeviceHost* host = nullptr;
uint64_t first = 0;
uint64_t second = 0;

void check(bool held) {
    if (!held) _exit(3);
}

void closeFirst() {
    uint64_t out = 0;
    check(host->getContext(first, 10, 0, &out) == 0 && out != 0);
    host->close(first);
}

struct ClosesSecond {
    ~ClosesSecond() {
        if (host == nullptr) return;
        uint64_t out = 0;
        check(host->getContext(first, 10, 0, &out) == qverr::qvapalerr_invalidParameter);
        host->close(first);
        check(host->getContext(second, 10, 0, &out) == 0 && out != 0);
        host->close(second);
        check(host->getContext(second, 10, 0, &out) == qverr::qvapalerr_invalidParameter);
    }
} closesSecond;

}  // namespace exitHost

TEST_F(StaleHandles, SessionsClosedByTheHostsExitHandlerAndGlobalDestructor) {
    if (qvtest::environmentIs("QV_TEST_EXIT_HOST", "1")) {
        std::atexit(exitHost::closeFirst);
        exitHost::host = this;
        const std::string json = params("", false);
        exitHost::check(open(json.c_str(), "ai/0", &exitHost::first) == 0);
        exitHost::check(open(json.c_str(), "ao/0", &exitHost::second) == 0);
        std::exit(0);
    }
    const pid_t child =
        qvtest::spawnSelf("StaleHandles.SessionsClosedByTheHostsExitHandlerAndGlobalDestructor",
                          "QV_TEST_EXIT_HOST=1");
    EXPECT_EQ(qvtest::waitForExitWithin(child, std::chrono::seconds(60)), 0);
}

// Exports called after the library's destructors have run at exit: by a
// plug-in loaded after the library, from its own destructor, and by a host
// thread still calling while main returns. Each host runs as a process of
// its own, which must exit cleanly (a sanitizer's report fails its exit).
TEST_F(StaleHandles, ExportsCalledAfterTheLibrarysDestructors) {
    auto getTriggerId =
        library.fn<int32_t (*)(uint64_t, const char*, int32_t*)>("trig_getTriggerID");
    const char* caller = getenv("QV_TEST_LATE_CALLER");
    if (caller != nullptr) {
        // Never unloaded: its destructor runs at exit.
        qvhost_library* plugin = qvhost_load(QV_LATE_CALLER);
        if (plugin == nullptr) _exit(3);
        int32_t id = 0;
        if (std::string(caller) == "plugin") {
            using Give = void (*)(decltype(getTriggerId));
            reinterpret_cast<Give>(qvhost_resolve(plugin, "qvtest_callAtUnload"))(getTriggerId);
            getTriggerId(0x5a5a5a5a5a5a5a50ull, "", &id);
            std::exit(0);
        }
        // On a live trigger context: a look-up and nothing else.
        uint64_t device = 0;
        uint64_t trigger = 0;
        if (open(params("", false).c_str(), "ai/0", &device) != 0 ||
            getContext(device, 10, 0, &trigger) != 0)
            _exit(3);
        static std::atomic<uint64_t> calls{0};
        using Await = void (*)(const std::atomic<uint64_t>*);
        reinterpret_cast<Await>(qvhost_resolve(plugin, "qvtest_awaitCallsAtUnload"))(&calls);
        std::thread([&] {
            for (;;) {
                getTriggerId(trigger, "", &id);
                ++calls;
            }
        }).detach();
        while (calls == 0) std::this_thread::yield();
        std::exit(0);
    }
    for (const char* host : {"plugin", "thread"}) {
        const pid_t child =
            qvtest::spawnSelf("StaleHandles.ExportsCalledAfterTheLibrarysDestructors",
                              std::string("QV_TEST_LATE_CALLER=") + host);
        EXPECT_EQ(qvtest::waitForExitWithin(child, qvtest::kHangGuard), 0) << host;
    }
}

// Sessions opened and closed on many threads while others keep calling
// through their own live handles: no live handle is ever refused.
TEST_F(StaleHandles, ConcurrentOpenAndCloseLeaveLiveHandlesAlone) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    const std::string json = params("", false);
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                uint64_t device = 0;
                uint64_t trigger = 0;
                if (open(json.c_str(), "ai/0", &device) != 0 ||
                    getContext(device, 10, 0, &trigger) != 0 ||
                    library.fn<int32_t (*)(uint64_t, uint32_t)>("trig_sendSoftwareTrigger")(
                        trigger, 1) != 0) {
                    ++failures;
                }
                close(device);
                close(device);
                if (getContext(device, 10, 0, &trigger) != qverr::qvapalerr_invalidParameter)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
