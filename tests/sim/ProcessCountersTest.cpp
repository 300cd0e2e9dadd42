// The process counters that tests use to see that the library leaves no
// thread or descriptor behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "kerneldriver/Driver.h"

namespace {

TEST(ProcessCounters, CountThreadsAndDescriptorsAsTheyComeAndGo) {
    // A sanitizer's runtime may start a helper thread with the first thread.
    std::thread([] {}).join();
    const size_t threads = qvsim::processThreads();
    const size_t descriptors = qvsim::processDescriptors();
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool stop = false;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        started = true;
        changed.notify_all();
        changed.wait(lock, [&] { return stop; });
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return started; });
    }
    EXPECT_EQ(qvsim::processThreads(), threads + 1);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors + 2);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    changed.notify_all();
    worker.join();
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threads), threads);
    EXPECT_EQ(qvsim::processDescriptors(), descriptors);
}

}  // namespace
