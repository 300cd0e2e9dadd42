#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "atomiczekddk/shared/ChangeNotifierThread.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Fakes.h"
#include "qvjsonconfig/SynchronizedConfiguration.h"
#include "qvjsonconfig/afaWrappers/DirectoryPoller.h"
#include "support/Counter.h"
#include "support/EndsWithin.h"
#include "support/SelfProcess.h"
#include "support/TempDir.h"
#include "support/TraceCapture.h"

namespace {

using ::testing::HasSubstr;

// Run as a child process by the test below: writes the configuration file
// ("<path>;<token>" in QV_TEST_WRITE_CONFIG) the way every process of the
// system does.
TEST(ChangeNotifierWriterChild, WritesTheConfiguration) {
    const char* request = getenv("QV_TEST_WRITE_CONFIG");
    if (request == nullptr) GTEST_SKIP() << "runs as a child process only";
    const std::string value = request;
    const size_t split = value.find(';');
    qvjsonconfig::LockableFile file(value.substr(0, split).c_str(), false);
    const std::string text = "{\"version\":1,\"oldest_compatible_version\":1,\"devices\":{\"" +
                             value.substr(split + 1) + "\":{}}}";
    file.lock();
    file.write(text.data(), text.data() + text.size());
    file.unlock();
}

void writeFromAnotherProcess(const std::string& path, const std::string& token) {
    ASSERT_EQ(qvtest::waitForExit(qvtest::spawnSelf("ChangeNotifierWriterChild.*",
                                                    "QV_TEST_WRITE_CONFIG=" + path + ";" + token)),
              0);
}

class CountingHandler : public qvzek::IChangeNotificationHandler {
public:
    explicit CountingHandler(bool throwFirst = false) : throwFirst_(throwFirst) {}
    void notify() override {
        if (calls.increment() == 1 && throwFirst_) throw 7;
    }
    qvtest::Counter calls;

private:
    bool throwFirst_;
};

// Another process writes the file: the poller sees the directory change,
// the configuration reloads, the notifier tells the handlers. A handler
// that throws is logged and does not end the notifications.
TEST(ChangeNotifierThread, FilesWrittenByAnotherProcessReachTheHandlers) {
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{}})");
    qvjsonconfig::LockableFile file(path.c_str(), false);
    qvtest::FakeDeviceFactory devices;
    qvtest::FakeAliasFactory aliases;
    qvjsonconfig::AliasAttributeProvider provider(aliases);
    qvjsonconfig::SynchronizedConfiguration configuration(file, devices, provider);
    qvtest::TraceCapture trace;
    CountingHandler failing(true);
    CountingHandler removed;
    auto notifier = std::make_unique<qvzek::ChangeNotifierThread>(configuration);
    notifier->addHandler(&removed);
    notifier->addHandler(&failing);
    auto poller =
        std::make_unique<qvjsonconfig::DirectoryPoller>(configuration, dir.path().c_str());

    writeFromAnotherProcess(path, "PCI:first");
    ASSERT_TRUE(failing.calls.waitFor(1));
    EXPECT_TRUE(removed.calls.waitFor(1));
    notifier->removeHandler(&removed);
    writeFromAnotherProcess(path, "PCI:second");
    ASSERT_TRUE(failing.calls.waitFor(2));
    // Both threads wait without a time-out: only their stop ends them.
    EXPECT_TRUE(qvtest::endsWithin(qvtest::kHangGuard, [&] {
        poller.reset();
        notifier.reset();
    }));
    EXPECT_EQ(removed.calls.count(), 1);
    EXPECT_THAT(trace.all(), HasSubstr("] Caught exception of unknown type.\n"));
    std::unique_ptr<qvjsonconfig::ConfigurationData> data(configuration.getConfigurationData());
    EXPECT_TRUE(data->findDeviceEntry("PCI:second"));
}

}  // namespace
