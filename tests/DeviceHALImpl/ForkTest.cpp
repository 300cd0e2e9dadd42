// A host that forks while other threads call the library, through the
// shipped library: each child makes calls of its own and ends; none may
// wait for ever on a lock, or a first use, that a thread of the parent was
// in at the fork.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DeviceHALImpl/DeviceHALSession.h"
#include "DeviceHALImpl/DeviceHost.h"
#include "qvqrx3377cal/calsim.h"
#include "support/AddressChecker.h"
#include "support/EndsWithin.h"
#include "support/LibraryContext.h"
#include "support/SelfProcess.h"

// The run-time engine stand-in the calibration library runs on; naming one
// of its symbols keeps the linker from dropping it.
extern "C" uint32_t kxrtsim_cleanupRegistrations(void);

namespace {

class ForkingHost : public ::testing::Test, public devicetest::DeviceHost {};

TEST_F(ForkingHost, NoChildHangsWhileOtherThreadsCallTheLibrary) {
    ASSERT_TRUE(library.loaded());
    auto getTriggerId =
        library.fn<int32_t (*)(uint64_t, const char*, int32_t*)>("trig_getTriggerID");
    using Status = qvhost_status*;
    auto create = library.fn<void* (*)(const char*, void* (*)(void*, size_t), Status)>(
        "qvroco_ra_qv3377hal_createSession");
    auto destroy = library.fn<void (*)(void*)>("qvroco_ra_qv3377hal_destroySession");
    auto terminals = library.fn<void* (*)(void*, Status)>("qvroco_ra_qv3377hal_getAllTerminals");
    auto destroyIterator =
        library.fn<void (*)(void*)>("qvroco_ra_qv3377hal_TerminalIterator_destroy");
    qvhost_status status = qvhost_newStatus();
    void* routing = create(module.devicePath().c_str(), &std::realloc, &status);
    ASSERT_NE(routing, nullptr);

    // One thread looks up a made-up handle, two add and drop iterators
    // (touching no device): the registry changes under the forks.
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    callers.emplace_back([&] {
        int32_t id = 0;
        while (!stop) getTriggerId(0x5a5a5a5a5a5a5a50ull, "", &id);
    });
    for (int writer = 0; writer < 2; ++writer) {
        callers.emplace_back([&] {
            qvhost_status own = qvhost_newStatus();
            while (!stop) destroyIterator(terminals(routing, &own));
            qvhost_release(&own);
        });
    }
    const std::string json = params("", false);

    constexpr int kForks = 200;
    std::vector<pid_t> children;
    for (int i = 0; i < kForks; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            uint64_t handle = 0;
            int32_t id = 0;
            const bool opened = open(json.c_str(), "ai/0", &handle) == 0;
            close(handle);
            getTriggerId(0x5a5a5a5a5a5a5a50ull, "", &id);
            _exit(opened ? 0 : 3);
        }
        if (child < 0) {
            ADD_FAILURE() << "fork failed";
            break;
        }
        children.push_back(child);
    }
    stop = true;
    for (auto& caller : callers) caller.join();
    destroy(routing);
    qvhost_release(&status);

    const qvtest::ChildrenEnded ended = qvtest::waitForChildren(children, qvtest::kHangGuard);
    EXPECT_EQ(ended.hung, 0) << "of " << kForks;
    EXPECT_EQ(ended.failed, 0) << "of " << kForks;
}

// A calibration session of a host that uses the library already: opened
// in the process that uses it, before the first call of any other family.
class CalibrationSession {
public:
    CalibrationSession(qvtest::HostLibrary& library, qvsim::SimulatedModule& module)
        : context_(library, module, "ao/0", qv3377hal::context::kSelfCal,
                   qvtest::deviceParams(module, "\"bitfileName\":\"qv3377.qvimage\"")) {
        uint64_t handle = 0;
        if (library.fn<qvhost_openReturnCode>("selfcal_open")(context_.device(), context_.handle(),
                                                              &handle) == 0)
            handle_ = qvtest::OwnedHandle(handle, library.fn<qvhost_close>("selfcal_close"));
    }
    uint64_t handle() const { return handle_; }

private:
    qvtest::LibraryContext context_;
    qvtest::OwnedHandle handle_;
};

// What a first call runs on: a fresh load of the library, the module, a
// calibration session, and the entry points resolved beforehand, so that a
// call made during a fork goes into the library at once.
struct FreshHost {
    using Plain = int32_t (*)();
    using Create = void* (*)(const char*, void* (*)(void*, size_t), qvhost_status*);

    qvtest::HostLibrary& library;
    qvsim::SimulatedModule& module;
    CalibrationSession calibration{library, module};
    const std::string devicePath = module.devicePath();
    Plain visaInitialize = library.fn<Plain>("PpiInitializePlugin");
    Plain visaFinalize = library.fn<Plain>("PpiFinalizePlugin");
    Plain zekInitialize = library.fn<Plain>("qvzek_initializePlugin");
    Plain zekFinalize = library.fn<Plain>("qvzek_finalizePlugin");
    Create createRouting = library.fn<Create>("qvroco_ra_qv3377hal_createSession");
    void (*destroyRouting)(void*) =
        library.fn<void (*)(void*)>("qvroco_ra_qv3377hal_destroySession");
    int32_t (*calibrate)(uint64_t, const char*) =
        library.fn<int32_t (*)(uint64_t, const char*)>("selfcal_selfCalibrate");
};

// Each family's first call, undone again: 0 when both succeeded.
struct FirstCall {
    const char* family;
    int32_t (*call)(FreshHost& host);
};

const FirstCall kFirstCalls[] = {
    {"VISA plug-in",
     [](FreshHost& host) {
         const int32_t code = host.visaInitialize();
         return code != 0 ? code : host.visaFinalize();
     }},
    {"FPGA-driver plug-in",
     [](FreshHost& host) {
         const int32_t code = host.zekInitialize();
         return code != 0 ? code : host.zekFinalize();
     }},
    {"routing adaptor",
     [](FreshHost& host) {
         qvhost_status status = qvhost_newStatus();
         void* session = host.createRouting(host.devicePath.c_str(), &std::realloc, &status);
         const int32_t code = session != nullptr ? 0 : status.code != 0 ? status.code : -1;
         if (session != nullptr) host.destroyRouting(session);
         qvhost_release(&status);
         return code;
     }},
    {"calibration",
     [](FreshHost& host) { return host.calibrate(host.calibration.handle(), "PXI_Clk"); }},
};

// A host's own prepare handler, registered before the library is loaded:
// it runs after the library's, which holds its locks meanwhile. Armed for
// one fork, it lets a caller go and, in a slow host, lingers.
std::atomic<std::atomic<bool>*> releasing{nullptr};
std::atomic<bool> lingering{false};
void releaseBeforeFork() {
    if (std::atomic<bool>* go = releasing.exchange(nullptr)) {
        go->store(true);
        if (lingering.load()) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
}

class FirstCallsDuringAFork : public ::testing::Test {
protected:
    void SetUp() override {
        static const int registered = pthread_atfork(&releaseBeforeFork, nullptr, nullptr);
        ASSERT_EQ(registered, 0);
    }

    // Forks while a thread makes `row`'s first call on a fresh load of the
    // library, let go by the host's prepare handler; the child makes the
    // same call, and ends. Returns the child.
    pid_t forkDuringFirstCall(const FirstCall& row, bool slowHost) {
        pid_t child = -1;
        {
            qvtest::HostLibrary library(QV_SHARED_LIBRARY);
            FreshHost host{library, module};
            std::atomic<bool> go{false};
            std::atomic<int32_t> made{1};
            std::thread caller([&] {
                while (!go.load()) std::this_thread::yield();
                made = row.call(host);
            });
            lingering = slowHost;
            releasing = &go;
            child = fork();
            if (child == 0) {
                FreshHost own{library, module};
                _exit(row.call(own) == 0 ? 0 : 3);
            }
            go = true;
            caller.join();
            EXPECT_EQ(made.load(), 0) << row.family;
        }
        // Else the next load would not be fresh.
        EXPECT_EQ(dlopen(QV_SHARED_LIBRARY, RTLD_NOW | RTLD_NOLOAD), nullptr);
        EXPECT_GT(child, 0) << "fork failed";
        return child;
    }

    qvsim::SimulatedModule module;
};

// A thread whose first call is caught by a fork, which the host's own
// prepare handler makes slow, leaves no half-made first use behind: the
// child makes the same call.
TEST_F(FirstCallsDuringAFork, TheChildOfASlowForkMakesTheSameCall) {
    for (const FirstCall& row : kFirstCalls) {
        calsim_reset();
        const qvtest::ChildrenEnded ended =
            qvtest::waitForChildren({forkDuringFirstCall(row, true)}, qvtest::kHangGuard);
        EXPECT_EQ(ended.hung, 0) << row.family;
        EXPECT_EQ(ended.failed, 0) << row.family;
    }
    // The calibration ran on the engine.
    EXPECT_GT(kxrtsim_cleanupRegistrations(), 0u);
}

// The same race with nothing slow, many times over. The address checker's
// allocator is not taken before a fork: a child can find it locked by the
// racing thread, and hang there whatever the library does.
TEST_F(FirstCallsDuringAFork, NoChildHangsInAFirstCallRacingItsFork) {
#ifdef QV_ADDRESS_CHECKER
    GTEST_SKIP() << "the address checker's allocator is not held across a fork";
#endif
    constexpr int kRounds = 100;
    for (const FirstCall& row : kFirstCalls) {
        calsim_reset();
        std::vector<pid_t> children;
        for (int round = 0; round < kRounds; ++round)
            children.push_back(forkDuringFirstCall(row, false));
        const qvtest::ChildrenEnded ended = qvtest::waitForChildren(children, qvtest::kHangGuard);
        EXPECT_EQ(ended.hung, 0) << row.family << ", of " << kRounds;
        EXPECT_EQ(ended.failed, 0) << row.family << ", of " << kRounds;
    }
}

}  // namespace
