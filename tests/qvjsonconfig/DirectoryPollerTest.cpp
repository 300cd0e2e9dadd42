#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using ::testing::HasSubstr;

// Counts its updates; each may throw what the test asks for.
class Target : public qvjsonconfig::UpdateableInterface {
public:
    explicit Target(std::function<void(int)> action = nullptr) : action_(std::move(action)) {}
    void update() override {
        int count;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            count = ++updates_;
        }
        changed_.notify_all();
        if (action_) action_(count);
    }
    bool waitForUpdates(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return updates_ >= count; });
    }

private:
    std::function<void(int)> action_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int updates_ = 0;
};

TEST(DirectoryPoller, AChangeInTheDirectoryCallsUpdate) {
    qvtest::TempDir dir;
    Target target;
    auto poller = std::make_unique<qvjsonconfig::DirectoryPoller>(target, dir.path().c_str());
    qvtest::writeFile(dir / "qrxzek.config", "{}");
    EXPECT_TRUE(target.waitForUpdates(1));
    const auto start = std::chrono::steady_clock::now();
    poller.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DirectoryPoller, AnIdlePollerStopsPromptly) {
    qvtest::TempDir dir;
    Target target;
    auto poller = std::make_unique<qvjsonconfig::DirectoryPoller>(target, dir.path().c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    poller.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DirectoryPoller, AMissingDirectoryFailsConstruction) {
    Target target;
    EXPECT_EQ(qvtest::thrownStatus([&] {
                  qvjsonconfig::DirectoryPoller poller(target, "/nonexistent/qv/dir");
              }).first,
              -52008);
}

TEST(DirectoryPoller, WhateverUpdateThrowsIsLoggedAndPollingGoesOn) {
    qvtest::TempDir dir;
    qvtest::TraceCapture trace;
    Target target([](int count) {
        switch (count) {
            case 1:
                throw std::runtime_error("x");
            case 2:
                QVERR_THROW("internal_sdi_hal23u", -52006, "qvapalerr_resourceNotFound");
            case 3:
                throw 42;
            default:
                break;
        }
    });
    {
        qvjsonconfig::DirectoryPoller poller(target, dir.path().c_str());
        for (int round = 1; round <= 4; ++round) {
            qvtest::writeFile(dir / "file", std::to_string(round));
            ASSERT_TRUE(target.waitForUpdates(round));
        }
    }
    const std::string log = trace.all();
    EXPECT_THAT(log, HasSubstr("] Caught exception of type <std::runtime_error> with what() "
                               "returning \"x\"\n"));
    EXPECT_THAT(log, HasSubstr("] Caught qverr exception: FAIL(-52006,{\"error_constant\":"
                               "\"qvapalerr_resourceNotFound\",\"file\":"));
    EXPECT_THAT(log, HasSubstr("] Caught exception of unknown type.\n"));
    EXPECT_THAT(log, HasSubstr("[sdi_hal23u|"));
}

}  // namespace
