#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "atomiczekddk/aliases/Aliases.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/shared/Errors.h"
#include "qverr/Codes.h"
#include "qverr/Exception.h"
#include "qvjsonconfig/AliasAttributeProvider.h"
#include "qvjsonconfig/Fakes.h"
#include "qvjsonconfig/SynchronizedConfiguration.h"
#include "support/SelfProcess.h"
#include "support/TempDir.h"

namespace {

using qvzek::DeviceInfo;

DeviceInfo entryOf(std::string token, std::string name) {
    DeviceInfo entry;
    entry.persistentToken = std::move(token);
    entry.defaultName = std::move(name);
    return entry;
}

class Discoverer : public qvzek::IDeviceDiscoverer {
public:
    qvzek::DeviceInfoList getDevices(int64_t& changeNumber) override {
        changeNumber = 1;
        qvzek::DeviceInfoList list;
        for (const char* n : {"1", "2", "3"}) {
            list.push_back(
                std::make_shared<DeviceInfo>(entryOf(std::string("t") + n, std::string("QV") + n)));
        }
        return list;
    }
    bool hasChanged(int64_t changeNumber) override { return changeNumber != 1; }
};

// Counts commits and can make them fail.
class CountingStorage : public qvzek::IAliasStorage {
public:
    explicit CountingStorage(qvzek::IAliasStorage& inner) : inner_(&inner) {}
    void registerChangeHandler(qvzek::IChangeNotificationHandler* h) override {
        inner_->registerChangeHandler(h);
    }
    void unregisterChangeHandler(qvzek::IChangeNotificationHandler* h) override {
        inner_->unregisterChangeHandler(h);
    }
    std::shared_ptr<qvzek::IAliasStorageData> getAliases() override { return inner_->getAliases(); }
    std::shared_ptr<qvzek::IAutoLockingAliasStorageDataCommitter> beginEdit() override {
        return std::make_shared<Committer>(inner_->beginEdit(), *this);
    }

    int commits = 0;
    bool failCommits = false;

private:
    class Committer : public qvzek::IAutoLockingAliasStorageDataCommitter {
    public:
        Committer(std::shared_ptr<qvzek::IAutoLockingAliasStorageDataCommitter> inner,
                  CountingStorage& owner)
            : inner_(std::move(inner)), owner_(&owner) {}
        qvzek::IAliasStorageData* getData() override { return inner_->getData(); }
        void commit() override {
            ++owner_->commits;
            if (owner_->failCommits) qvzek::throwStatusCode(-52012);
            inner_->commit();
        }

    private:
        std::shared_ptr<qvzek::IAutoLockingAliasStorageDataCommitter> inner_;
        CountingStorage* owner_;
    };
    qvzek::IAliasStorage* inner_;
};

class CountingHandler : public qvzek::IChangeNotificationHandler {
public:
    void notify() override { ++count; }
    std::atomic<int> count{0};
};

// One board plug-in's alias stack over the configuration file at path.
struct AliasStack {
    explicit AliasStack(const std::string& path) : file(path.c_str(), true) {}

    qvjsonconfig::LockableFile file;
    qvtest::FakeDeviceFactory factory{{"t1", "t2", "t3"}};
    qvtest::FakeAliasFactory aliasFactory;
    qvjsonconfig::AliasAttributeProvider provider{aliasFactory};
    qvjsonconfig::SynchronizedConfiguration synchronized{file, factory, provider};
    qvzek::ChangeNotifierThread notifier{synchronized};
    qvzek::AliasStorageJsonconfig jsonStorage{file, synchronized, factory, provider, notifier};
    CountingStorage storage{jsonStorage};
    Discoverer discoverer;
    qvzek::AliasConflicterAliasesInStorage inStorage;
    qvzek::AliasConflicterDefaultAliases defaults{discoverer};
    qvzek::AliasConflicterComposite conflicter = [this] {
        qvzek::AliasConflicterComposite composite;
        composite.addConflicter(&inStorage);
        composite.addConflicter(&defaults);
        return composite;
    }();
    qvzek::AliasManagerCommon manager{storage, conflicter};
};

const DeviceInfo kT1 = entryOf("t1", "QV1"), kT2 = entryOf("t2", "QV2"), kT3 = entryOf("t3", "QV3");

std::string setAlias(qvzek::AliasManagerCommon& manager, const DeviceInfo& entry,
                     const std::string& alias, uint32_t mode = 0) {
    std::string conflict = "stale";
    manager.setAlias(entry, alias, mode, conflict);
    return conflict;
}

class AliasManagerTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    const std::string path = dir / "qrxzek.config";
    AliasStack stack{path};
    qvzek::AliasManagerCommon& manager = stack.manager;

    // The alias the file holds for token.
    std::string stored(const std::string& token) {
        std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> devices(
            stack.factory.createIterator());
        qvzek::AutoLockingAliasStorageDataCommitterJsonconfig committer(stack.file, devices.get(),
                                                                        stack.provider);
        return committer.getData()->getAlias(token);
    }
};

TEST_F(AliasManagerTest, NameRules) {
    EXPECT_EQ(setAlias(manager, kT1, "lab-unit_1"), "");
    EXPECT_EQ(manager.getAlias(kT1), "lab-unit_1");
    for (const char* bad : {"a b", "caf\xC3\xA9", "host", "Null", "x.y", "t\n"}) {
        EXPECT_EQ(qvtest::thrownStatus([&] { setAlias(manager, kT1, bad); }).first,
                  qvzek::kErrorInvalidAlias)
            << bad;
    }
    EXPECT_EQ(manager.getAlias(kT1), "lab-unit_1");
    EXPECT_EQ(stored("t1"), "lab-unit_1");
}

TEST_F(AliasManagerTest, UnchangedAliasWritesNothing) {
    setAlias(manager, kT1, "bench");
    EXPECT_EQ(stack.storage.commits, 1);
    setAlias(manager, kT1, "bench");
    EXPECT_EQ(stack.storage.commits, 1);
    // Case counts here: this is a change.
    setAlias(manager, kT1, "Bench");
    EXPECT_EQ(stack.storage.commits, 2);
}

TEST_F(AliasManagerTest, DefaultNameAndEmptyAliasRemoveIt) {
    setAlias(manager, kT1, "bench");
    setAlias(manager, kT1, "QV1");
    EXPECT_EQ(manager.getAlias(kT1), "");
    EXPECT_EQ(stored("t1"), "");
    setAlias(manager, kT2, "other");
    setAlias(manager, kT2, "");
    EXPECT_EQ(stored("t2"), "");
}

TEST_F(AliasManagerTest, ConflictsAndMoves) {
    setAlias(manager, kT1, "bench");
    EXPECT_EQ(setAlias(manager, kT2, "BENCH"), "t1");
    EXPECT_EQ(stored("t2"), "");
    EXPECT_EQ(manager.getAlias(kT1), "bench");
    // Another module's default name, in any letter case.
    EXPECT_EQ(setAlias(manager, kT3, "qv2"), "t2");
    EXPECT_EQ(stored("t3"), "");
    // Its own alias in another case is no conflict.
    EXPECT_EQ(setAlias(manager, kT1, "Bench"), "");

    const int commits = stack.storage.commits;
    EXPECT_EQ(setAlias(manager, kT2, "bench", qvzek::kAliasModeMove), "t1");
    EXPECT_EQ(stack.storage.commits, commits + 1);
    EXPECT_EQ(manager.getAlias(kT2), "bench");
    EXPECT_EQ(manager.getAlias(kT1), "");
    EXPECT_EQ(stored("t1"), "");
    EXPECT_EQ(stored("t2"), "bench");
}

TEST_F(AliasManagerTest, FailedCommitShowsNoAlias) {
    setAlias(manager, kT1, "before");
    stack.storage.failCommits = true;
    EXPECT_EQ(qvtest::thrownStatus([&] { setAlias(manager, kT1, "after"); }).first,
              qverr::kStatusEndOfData);
    EXPECT_EQ(manager.getAlias(kT1), "before");
    EXPECT_EQ(stored("t1"), "before");
}

pid_t spawnChild(const std::string& path, const std::string& token, int count) {
    return qvtest::spawnSelf("AliasManagerChild.Edits",
                             "QV_ALIAS_CHILD=" + path + "|" + token + "|" + std::to_string(count));
}

bool waitForChild(pid_t pid) {
    return qvtest::waitForExit(pid) == 0;
}

// Edits one module's alias count times: "<token>-<i>".
TEST(AliasManagerChild, Edits) {
    const char* request = getenv("QV_ALIAS_CHILD");
    if (request == nullptr) GTEST_SKIP() << "runs as a child process only";
    const std::string text = request;
    const size_t a = text.find('|'), b = text.rfind('|');
    const std::string path = text.substr(0, a), token = text.substr(a + 1, b - a - 1);
    const int count = std::stoi(text.substr(b + 1));
    AliasStack stack(path);
    const DeviceInfo entry = entryOf(token, "QV" + token);
    for (int i = 0; i < count; ++i) setAlias(stack.manager, entry, token + "-" + std::to_string(i));
}

TEST_F(AliasManagerTest, OtherProcessEditIsSeenAfterTheNotification) {
    CountingHandler handler;
    manager.registerChangeHandler(&handler);
    ASSERT_TRUE(waitForChild(spawnChild(path, "t3", 1)));
    EXPECT_EQ(manager.getAlias(kT3), "");
    // What the directory poller does when the file changes.
    stack.synchronized.update();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (handler.count.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    manager.unregisterChangeHandler(&handler);
    ASSERT_GT(handler.count.load(), 0);
    EXPECT_EQ(manager.getAlias(kT3), "t3-0");
}

TEST_F(AliasManagerTest, ConcurrentProcessesLoseNoAlias) {
    const pid_t first = spawnChild(path, "t1", 20);
    const pid_t second = spawnChild(path, "t2", 20);
    // This process edits at the same time.
    for (int i = 0; i < 20; ++i) setAlias(manager, kT3, "t3-" + std::to_string(i));
    ASSERT_TRUE(waitForChild(first));
    ASSERT_TRUE(waitForChild(second));
    EXPECT_EQ(stored("t1"), "t1-19");
    EXPECT_EQ(stored("t2"), "t2-19");
    EXPECT_EQ(stored("t3"), "t3-19");
}

}  // namespace
