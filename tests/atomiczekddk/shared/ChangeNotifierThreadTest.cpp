#include "atomiczekddk/shared/ChangeNotifierThread.h"

#include <spawn.h>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/SynchronizedConfiguration.h"
#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"
#include "qvjsonconfig/Fakes.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

extern char** environ;

namespace {

using ::testing::HasSubstr;

class CountingHandler : public qvzek::IChangeNotificationHandler {
public:
    explicit CountingHandler(bool throwFirst = false) : throwFirst_(throwFirst) {}
    void notify() override {
        int count;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            count = ++calls_;
        }
        changed_.notify_all();
        if (throwFirst_ && count == 1) throw 7;
    }
    bool waitForCalls(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return calls_ >= count; });
    }
    int calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    bool throwFirst_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
};

// A configuration whose changes the test hands in one by one.
class ScriptedConfiguration : public qvjsonconfig::SynchronizedConfigurationInterface {
public:
    void commit(const qvjsonconfig::ConfigurationData&) override {}
    qvjsonconfig::ConfigurationData* getConfigurationData() override { return nullptr; }
    void update() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++pending_;
        changed_.notify_all();
    }
    void stopWaiting() override {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        changed_.notify_all();
    }
    bool waitForChanges(qvjsonconfig::ChangeMap& out) override {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || pending_ > 0; });
        if (stopped_) return false;
        --pending_;
        out[qvjsonconfig::kChangeAdded].push_back("PCI:x");
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int pending_ = 0;
    bool stopped_ = false;
};

TEST(ChangeNotifierThread, EveryHandlerIsToldOfEachChange) {
    ScriptedConfiguration configuration;
    CountingHandler first;
    CountingHandler second;
    auto notifier = std::make_unique<qvzek::ChangeNotifierThread>(configuration);
    notifier->addHandler(&first);
    notifier->addHandler(&second);
    configuration.update();
    EXPECT_TRUE(first.waitForCalls(1));
    EXPECT_TRUE(second.waitForCalls(1));
    notifier->removeHandler(&second);
    configuration.update();
    EXPECT_TRUE(first.waitForCalls(2));
    const auto start = std::chrono::steady_clock::now();
    notifier.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(second.calls(), 1);
}

TEST(ChangeNotifierThread, AFailingHandlerIsLoggedAndNotificationGoesOn) {
    qvtest::TraceCapture trace;
    ScriptedConfiguration configuration;
    CountingHandler failing(true);
    {
        qvzek::ChangeNotifierThread notifier(configuration);
        notifier.addHandler(&failing);
        configuration.update();
        EXPECT_TRUE(failing.waitForCalls(1));
        configuration.update();
        EXPECT_TRUE(failing.waitForCalls(2));
    }
    EXPECT_THAT(trace.all(), HasSubstr("] Caught exception of unknown type.\n"));
}

// Another process writes the file: the poller sees the directory change,
// the configuration reloads, the notifier tells the handler.
TEST(ChangeNotifierThread, AFileWrittenByAnotherProcessReachesTheHandlers) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{}})");
    qvjsonconfig::LockableFile file(path.c_str(), false);
    qvtest::FakeDeviceFactory devices;
    qvtest::FakeAliasFactory aliases;
    qvjsonconfig::AliasAttributeProvider provider(aliases);
    qvjsonconfig::SynchronizedConfiguration configuration(file, devices, provider);
    CountingHandler handler;
    {
        qvzek::ChangeNotifierThread notifier(configuration);
        notifier.addHandler(&handler);
        qvjsonconfig::DirectoryPoller poller(configuration, dir.path().c_str());

        const std::string script =
            "printf '%s' '{\"version\":1,\"oldest_compatible_version\":1,"
            "\"devices\":{\"PCI:other\":{\"alias\":\"theirs\"}}}' > '" + path + "'";
        const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv),
                              environ),
                  0);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(handler.waitForCalls(1));
    }
    std::unique_ptr<qvjsonconfig::ConfigurationData> data(configuration.getConfigurationData());
    EXPECT_TRUE(data->findDeviceEntry("PCI:other"));
}

}  // namespace
