// A host that forks while other threads call the library, through the
// shipped library: each child opens and closes a session of its own and
// ends; none may wait for ever on a lock that a thread of the parent held
// at the fork.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "support/EndsWithin.h"
#include "support/SelfProcess.h"

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

}  // namespace
