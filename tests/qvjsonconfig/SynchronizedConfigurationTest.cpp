#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Configuration.h"
#include "qvjsonconfig/Fakes.h"
#include "qvjsonconfig/SynchronizedConfiguration.h"
#include "support/EndsWithin.h"
#include "support/TempDir.h"

namespace {

using qvjsonconfig::ChangeMap;
using qvjsonconfig::Configuration;
using qvjsonconfig::ConfigurationData;
using qvjsonconfig::LockableFile;
using qvjsonconfig::SynchronizedConfiguration;
using Tokens = std::vector<std::string>;

class SynchronizedConfigurationTest : public ::testing::Test {
protected:
    SynchronizedConfigurationTest() {
        qvtest::writeFile(path, R"({"version":1,"oldest_compatible_version":1,"devices":{
            "PCI:1":{"alias":"one"}}})");
        synchronized = std::make_unique<SynchronizedConfiguration>(file, devices, provider);
    }

    // What another process does: its own open file, its own lock.
    void writeAsAnotherWriter(const std::string& text) {
        LockableFile other(path.c_str(), false);
        other.lock();
        other.write(text.data(), text.data() + text.size());
        other.unlock();
    }

    // waitForChanges on another thread.
    std::future<std::pair<bool, ChangeMap>> waitInBackground() {
        return std::async(std::launch::async, [this] {
            ChangeMap changes;
            const bool changed = synchronized->waitForChanges(changes);
            return std::make_pair(changed, changes);
        });
    }

    qvtest::TempDir dir;
    std::string path = dir / "qrxzek.config";
    LockableFile file{path.c_str(), true};
    qvtest::FakeDeviceFactory devices{{"PCI:1"}};
    qvtest::FakeAliasFactory aliases{"alias"};
    qvjsonconfig::AliasAttributeProvider provider{aliases};
    std::unique_ptr<SynchronizedConfiguration> synchronized;
};

TEST_F(SynchronizedConfigurationTest, AnotherWritersChangesAreReportedByKind) {
    auto waiting = waitInBackground();
    writeAsAnotherWriter(R"({"version":1,"oldest_compatible_version":1,"devices":{
        "PCI:1":{"alias":"renamed"},"PCI:2":{"alias":"two"}}})");
    synchronized->update();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [changed, changes] = waiting.get();
    EXPECT_TRUE(changed);
    EXPECT_EQ(changes, (ChangeMap{{qvjsonconfig::kChangeAdded, Tokens{"PCI:2"}},
                                  {qvjsonconfig::kChangeChanged, Tokens{"PCI:1"}}}));
}

TEST_F(SynchronizedConfigurationTest, NothingChangedKeepsWaitingUntilStopped) {
    auto waiting = waitInBackground();
    synchronized->update();
    // A file that is briefly not JSON (a writer caught half-way) is survived.
    writeAsAnotherWriter("{\"version\":");
    synchronized->update();
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    // The stop returns once the waiter has left its wait.
    ASSERT_TRUE(qvtest::endsWithin(qvtest::kHangGuard, [&] { synchronized->stopWaiting(); }));
    ASSERT_EQ(waiting.wait_for(qvtest::kHangGuard), std::future_status::ready);
    EXPECT_FALSE(waiting.get().first);
    // A caller that comes back after the stop does not wait for ever.
    ChangeMap changes;
    EXPECT_FALSE(synchronized->waitForChanges(changes));
}

TEST_F(SynchronizedConfigurationTest, ACommitWakesTheWaiterWithItsChanges) {
    auto waiting = waitInBackground();
    std::unique_ptr<ConfigurationData> data;
    {
        // What an alias change does: its own configuration cycle.
        std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> iterator(devices.createIterator());
        Configuration configuration(file, iterator.get(), provider, nullptr);
        ConfigurationData& edited = configuration.getConfigurationData();
        cJSON_ReplaceItemInObject(
            edited.getDeviceEntry("PCI:1")->getJsonObject(qvjsonconfig::kSelectorPersistent),
            "alias", cJSON_CreateString("edited"));
        edited.addDeviceEntry("PCI:9", qvjsonlh::createObject(), qvjsonlh::createObject());
        configuration.commit();
        synchronized->commit(edited);
    }
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [changed, changes] = waiting.get();
    EXPECT_TRUE(changed);
    EXPECT_EQ(changes, (ChangeMap{{qvjsonconfig::kChangeAdded, Tokens{"PCI:9"}},
                                  {qvjsonconfig::kChangeChanged, Tokens{"PCI:1"}}}));
}

}  // namespace
