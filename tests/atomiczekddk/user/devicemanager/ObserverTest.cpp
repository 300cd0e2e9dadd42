// The notification observer, alone and driving the device manager: one
// callback per arrival or removal, none once stopped, a paced retry while
// waits fail, and no thread or descriptor left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "AtomicZEKHALImpl/PciModelNameIdentifierCodegen.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/user/devicelist/DeviceNotificationObserver.h"
#include "atomiczekddk/user/devicemanager/DeviceManager.h"
#include "module/SimulatedModule.h"
#include "qverr/Exception.h"
#include "support/Counter.h"
#include "support/EndsWithin.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using qvsim::SimulatedModule;

// The module's FPGA entry in "/dev/qv".
const std::string kModuleEntry = "qv3377k\\qv3377k_atomiczekddkqrx\\0";

class CountingCallback : public qvzek::ICallbackVoid {
public:
    void call() override { calls.increment(); }
    qvtest::Counter calls;
};

class NotifiedHandler : public qvzek::IChangeNotificationHandler {
public:
    void notify() override { notified.increment(); }
    qvtest::Counter notified;
};

// Threads of this process whose name starts with `prefix`.
int threadsNamed(const std::string& prefix) {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    while (const dirent* task = tasks != nullptr ? readdir(tasks) : nullptr) {
        std::ifstream comm(std::string("/proc/self/task/") + task->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name) && name.rfind(prefix, 0) == 0) ++count;
    }
    if (tasks != nullptr) closedir(tasks);
    return count;
}

// Every wait on the dispatcher fails while it lives: poll refuses more
// descriptors than the process may hold. The wait in progress goes on until
// its next event.
class FailingWaits {
public:
    FailingWaits() {
        // The undefined-behaviour checker reads memory through a pipe when
        // it first checks a type: the types the observer meets while waits
        // fail, a callback and a thrown status, are met here first.
        CountingCallback first;
        qvzek::ICallbackVoid* volatile callback = &first;  // called as the observer calls it
        callback->call();
        nQVAPALS100::tStatus failed;
        failed.setCode(-1, "test", "ObserverTest", __LINE__);
        try {
            qverr::throwIfTStatusError(failed);
        } catch (const qverr::Exception&) {
        }
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit one = saved_;
        one.rlim_cur = 1;
        setrlimit(RLIMIT_NOFILE, &one);
    }
    FailingWaits(const FailingWaits&) = delete;
    FailingWaits& operator=(const FailingWaits&) = delete;
    ~FailingWaits() { setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

class Observer : public ::testing::Test {
protected:
    size_t threadsBefore = qvsim::processThreadsBaseline();
    size_t descriptorsBefore = qvsim::processDescriptors();
    SimulatedModule module;
    CountingCallback callback;
    std::unique_ptr<qvzek::DeviceNotificationObserver> observer =
        std::make_unique<qvzek::DeviceNotificationObserver>(
            std::vector<std::string>{"qv3377k_atomiczekddkqrx"});

    void TearDown() override {
        observer.reset();
        EXPECT_LE(qvsim::processThreadsSettlingAtMost(threadsBefore), threadsBefore);
    }

    // The count after a quiet moment in which no further callback came.
    int settledCount() {
        std::this_thread::sleep_for(milliseconds(200));
        return callback.calls.count();
    }
};

TEST_F(Observer, OneCallbackPerArrivalAndRemovalOnANamedThread) {
    EXPECT_EQ(threadsNamed("qvzek::DeviceNo"), 0);
    observer->start(&callback);
    EXPECT_EQ(threadsNamed("qvzek::DeviceNo"), 1);  // the system keeps 15 characters
    EXPECT_EQ(settledCount(), 0);                   // what is there already is no arrival

    module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
    ASSERT_TRUE(callback.calls.waitFor(1));
    EXPECT_EQ(settledCount(), 1);
    module.removeFpgaInterface("qv3377kb");
    ASSERT_TRUE(callback.calls.waitFor(2));
    module.unplugFpga();
    ASSERT_TRUE(callback.calls.waitFor(3));
    module.plugFpga();
    ASSERT_TRUE(callback.calls.waitFor(4));
    EXPECT_EQ(settledCount(), 4);
}

TEST_F(Observer, AStoppedObserverCallsNothingMore) {
    const size_t descriptorsBeforeStart = qvsim::processDescriptors();
    observer->start(&callback);
    observer->stop();
    module.unplugFpga();
    module.plugFpga();
    EXPECT_EQ(settledCount(), 0);
    observer.reset();
    EXPECT_EQ(qvsim::processDescriptors(), descriptorsBeforeStart);
}

TEST_F(Observer, FailingWaitsBackOffAndTheNextGoodWaitCountsOnce) {
    observer->start(&callback);
    int duringFailure = 0;
    {
        FailingWaits failing;
        const auto removed = Clock::now();
        module.tree().removeDeviceEntry(kModuleEntry);  // ends the wait in progress
        // The removal, a rescan for the failed wait at once, then one after
        // each back-off: 100, 300, 700 and 1500 ms later.
        EXPECT_TRUE(callback.calls.waitFor(3));
        std::this_thread::sleep_until(removed + milliseconds(1600));
        duringFailure = callback.calls.count();
        // Waits work again right after a rescan: the observer is then in a
        // back-off, not in a failing pass that would still count.
        EXPECT_TRUE(callback.calls.waitFor(duringFailure + 1));
    }
    // A handful, not a storm: a busy machine only makes it fewer.
    EXPECT_LE(duringFailure, 9);

    // Once waits work again, each notification is one callback: the old
    // failure is not carried into later passes.
    std::this_thread::sleep_for(milliseconds(1100));  // the longest back-off
    const int before = callback.calls.count();
    module.plugFpga();
    ASSERT_TRUE(callback.calls.waitFor(before + 1));
    EXPECT_EQ(settledCount(), before + 1);
}

TEST_F(Observer, StopEndsABackOff) {
    observer->start(&callback);
    {
        FailingWaits failing;
        module.tree().removeDeviceEntry(kModuleEntry);
        // The back-off now lasts a full second; the stop comes right after
        // a rescan, in the back-off that follows it.
        std::this_thread::sleep_for(milliseconds(1700));
        EXPECT_TRUE(callback.calls.waitFor(callback.calls.count() + 1));
    }
    const int calls = callback.calls.count();
    EXPECT_TRUE(qvtest::endsWithin(qvtest::kHangGuard, [&] { observer.reset(); }));
    // A rescan that a slow machine still had under way when the stop came
    // may finish; no pass starts after it.
    EXPECT_LE(callback.calls.count(), calls + 1);
}

// The observer inside the device manager: each arrival or removal is one
// rescan and one notification of the handlers.
TEST(ObservedManager, ArrivalsAndRemovalsReachTheHandlersOnce) {
    const size_t threadsBefore = qvsim::processThreadsBaseline();
    const size_t descriptorsBefore = qvsim::processDescriptors();
    {
        SimulatedModule module;
        // Held beyond the manager's end, as a session may hold them.
        qvzek::DeviceHandles<sdihal::tInterfaceProxy_atomiczekddkqrx> held;
        qverr::Status pxiStatus;
        qvqpxi::QPxiLibrary pxi(pxiStatus, "libqvqpxi-not-installed.so.1");
        qvzek::DeviceManagerPxiTemplate<sdihal::tInterfaceProxy_atomiczekddkqrx> manager(
            sdihal::tInterfaceProxy_atomiczekddkqrx::kInterfaceName,
            atomiczekhal::PciModelNameIdentifierCodegen::instance(), pxi);
        NotifiedHandler handler;
        manager.registerChangeHandler(&handler);
        manager.startObserver();
        int64_t change = -1;

        module.addFpgaInterface("qv3377kb", {0x1D, 0, 0}, "0000:1d:00.0");
        ASSERT_TRUE(handler.notified.waitFor(1));
        EXPECT_EQ(manager.getDevices(change).size(), 2u);
        module.removeFpgaInterface("qv3377kb");
        ASSERT_TRUE(handler.notified.waitFor(2));
        EXPECT_EQ(manager.getDevices(change).size(), 1u);
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_EQ(handler.notified.count(), 2);
        EXPECT_EQ(change, 2);
        held = manager.getDevice(module.fpgaPath());
        manager.unregisterChangeHandler(&handler);
        module.unplugFpga();
        std::this_thread::sleep_for(milliseconds(200));
        EXPECT_EQ(handler.notified.count(), 2);
    }
    EXPECT_LE(qvsim::processThreadsSettlingAtMost(threadsBefore), threadsBefore);
    EXPECT_EQ(qvsim::processDescriptors(), descriptorsBefore);
}

}  // namespace
