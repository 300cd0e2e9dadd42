// A host that forks while other threads call the library, through the
// shipped library: each child opens and closes a session of its own and
// ends; none may wait for ever on a lock that a thread of the parent held
// at the fork.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DeviceHALImpl/DeviceHost.h"
#include "support/EndsWithin.h"

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

    // Every child gets the guard from the last fork on; then a child still
    // running counts as hung and is killed.
    const auto deadline = std::chrono::steady_clock::now() + qvtest::kHangGuard;
    int hung = 0;
    int failed = 0;
    for (const pid_t child : children) {
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (ended == 0) {
            ++hung;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    EXPECT_EQ(hung, 0) << "of " << kForks;
    EXPECT_EQ(failed, 0) << "of " << kForks;
}

}  // namespace
