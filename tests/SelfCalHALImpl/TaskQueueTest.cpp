// The calibration worker pool: growth up to the configured bound, order,
// draining at destruction, and tasks that always complete.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/syscall.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "SelfCalHALImpl/SelfCalGate.h"
#include "SelfCalHALImpl/TaskQueue.h"
#include "qverr/Codes.h"
#include "support/SelfProcess.h"
#include "support/SimulatedRoot.h"
#include "support/SyscallFault.h"
#include "support/TempDir.h"
#include "support/ThreadChecker.h"

// Refused allocations are tested where operator new can be replaced.
#ifndef QV_THREAD_CHECKER
#include "support/RefusingNew.h"
#endif

namespace {

using selfcalhal::ExpandableThreadedTaskQueue;
using selfcalhal::IntTask;
using selfcalhal::TaskCompletion;
using selfcalhal::TaskSlot;
using selfcaltest::Gate;

class WorkerPool : public ::testing::Test {
protected:
    void setBound(const char* value) {
        const std::string path = root / "var/local/vorlane/systemsettings/qvrf_features.ini";
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        qvtest::writeFile(
            path, std::string("[qvrfUpperBoundValueOfThreadsInPool]\nValue=") + value + "\n");
    }
    std::shared_ptr<TaskCompletion> submit(ExpandableThreadedTaskQueue& queue,
                                           std::function<int()> body) {
        auto completion = std::make_shared<TaskCompletion>();
        TaskSlot slot(new IntTask(completion, std::move(body)));
        queue.enqueue(slot);
        return completion;
    }
    static bool finishes(TaskCompletion& completion) {
        return completion.waitFor(std::chrono::seconds(10));
    }
    static std::set<std::string> threadIds() {
        std::set<std::string> ids;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
            ids.insert(entry.path().filename().string());
        return ids;
    }
    // A blocked first task, then a second one: whether the second ran while
    // the first was still blocked. The pool grows, if at all, while the
    // second is queued; a worker it added runs the second at once.
    bool secondRunsBesideABlockedFirst(ExpandableThreadedTaskQueue& queue, Gate& gate) {
        auto first = submit(queue, [&] { return gate.pass() ? 1 : -1; });
        EXPECT_TRUE(gate.waitForArrivals(1));
        const std::set<std::string> threads = threadIds();
        auto second = submit(queue, [] { return 2; });
        bool grew = false;  // a thread that was not there (ended ones may linger)
        for (const std::string& id : threadIds()) grew = grew || threads.count(id) == 0;
        const bool beside = grew ? finishes(*second) : second->count() != 0;
        gate.open();
        EXPECT_TRUE(finishes(*first));
        EXPECT_TRUE(finishes(*second));
        EXPECT_EQ(first->result(), 1);
        EXPECT_EQ(second->result(), 2);
        return beside;
    }

    qvtest::SimulatedRoot root;
};

// No toggles file, or any negative bound: a busy pool grows. Bounds of one
// and zero keep the initial worker alone; a bound of 2 allows one more.
TEST_F(WorkerPool, GrowsUpToTheConfiguredBound) {
    const std::pair<const char*, bool> cases[] = {
        {nullptr, true}, {"-7", true}, {"1", false}, {"0", false}, {"2", true}};
    for (const auto& [bound, grows] : cases) {
        SCOPED_TRACE(bound ? bound : "no file");
        if (bound) setBound(bound);
        Gate gate;  // outlives the queue, whose destruction waits for the tasks
        ExpandableThreadedTaskQueue queue(1);
        EXPECT_EQ(secondRunsBesideABlockedFirst(queue, gate), grows);
    }
}

// Calls made at once each get a worker while the bound has room: none waits
// behind another, however long that one runs. Each round starts from one
// worker settled into its wait: one idle worker is room for one task, not
// for all of them.
TEST_F(WorkerPool, TasksQueuedAtOnceAllRunTogether) {
    constexpr int kTasks = 4;
    const std::pair<const char*, int> cases[] = {{nullptr, kTasks}, {"3", 3}};
    for (const auto& [bound, together] : cases) {
        if (bound) setBound(bound);
        for (int round = 0; round < 5; ++round) {
            SCOPED_TRACE(std::string(bound ? bound : "no file") + ", round " +
                         std::to_string(round));
            Gate gate;  // outlives the queue, whose destruction waits for the tasks
            ExpandableThreadedTaskQueue queue(1);
            ASSERT_TRUE(finishes(*submit(queue, [] { return 0; })));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::vector<std::shared_ptr<TaskCompletion>> done;
            for (int i = 0; i < kTasks; ++i)
                done.push_back(submit(queue, [&] { return gate.pass() ? 1 : -1; }));
            const bool arrived = gate.waitForArrivals(together);
            gate.open();
            for (const auto& completion : done) {
                ASSERT_TRUE(finishes(*completion));
                EXPECT_EQ(completion->result(), 1);
            }
            ASSERT_TRUE(arrived);
        }
    }
}

// A forked child's exit leaves the parent's pool alone: joining workers
// that do not exist in the child would never end. A child that calibrates
// gets workers of its own. The parent's pool goes on.
TEST_F(WorkerPool, AForkedChildEndsWithoutThePoolsWorkers) {
    ASSERT_TRUE(finishes(*submit(selfcalhal::processQueue(), [] { return 1; })));
    constexpr bool kChildThreads = !qvtest::kThreadChecker;
    for (const bool calibrates : {false, kChildThreads}) {
        const pid_t child = fork();
        if (child == 0) {
            if (!calibrates) exit(0);
            auto own = submit(selfcalhal::processQueue(), [] { return 3; });
            exit(finishes(*own) && own->result() == 3 ? 0 : 3);
        }
        EXPECT_EQ(qvtest::waitForExitWithin(child, std::chrono::seconds(20)), 0) << calibrates;
    }
    auto after = submit(selfcalhal::processQueue(), [] { return 2; });
    ASSERT_TRUE(finishes(*after));
    EXPECT_EQ(after->result(), 2);
}

// A host that is process 1 of its PID namespace and forks into a new one
// has a child that is process 1 as well: the child still builds a pool of
// its own rather than wait on its parent's workers.
TEST_F(WorkerPool, AChildWithItsParentsProcessIdBuildsItsOwnPool) {
    if (qvtest::kThreadChecker) GTEST_SKIP() << qvtest::kNoThreadsInForkedChildren;
    constexpr int kNoNamespaces = 77;
    // Each process exits with its child's exit code.
    auto forkAndWait = [](auto&& body) {
        const pid_t child = fork();
        if (child == 0) _exit(body());
        return qvtest::waitForExitWithin(child, std::chrono::seconds(30));
    };
    const int code = forkAndWait([&] {
        if (unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) return kNoNamespaces;
        return forkAndWait([&] {
            if (getpid() != 1 || !finishes(*submit(selfcalhal::processQueue(), [] { return 1; })))
                return 4;
            if (unshare(CLONE_NEWPID) != 0) return kNoNamespaces;
            return forkAndWait([&] {
                if (getpid() != 1) return 4;
                auto own = submit(selfcalhal::processQueue(), [] { return 3; });
                return finishes(*own) && own->result() == 3 ? 0 : 3;
            });
        });
    });
    if (code == kNoNamespaces) GTEST_SKIP() << "no user and PID namespaces here";
    EXPECT_EQ(code, 0);
}

// Tasks start in the order they were queued; destruction runs what is
// still queued.
TEST_F(WorkerPool, DestructionRunsWhatIsStillQueuedInOrder) {
    setBound("1");
    std::vector<std::shared_ptr<TaskCompletion>> done;
    std::mutex mutex;
    std::vector<int> order;
    Gate gate;  // outlives the queue, whose destruction waits for the tasks
    {
        ExpandableThreadedTaskQueue queue(1);
        done.push_back(submit(queue, [&] { return gate.pass() ? 0 : -1; }));
        ASSERT_TRUE(gate.waitForArrivals(1));
        for (int i = 1; i <= 5; ++i) {
            done.push_back(submit(queue, [&, i] {
                std::lock_guard<std::mutex> lock(mutex);
                order.push_back(i);
                return i;
            }));
        }
        gate.open();
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    for (size_t i = 0; i < done.size(); ++i) {
        EXPECT_EQ(done[i]->count(), 1) << i;
        EXPECT_EQ(done[i]->result(), static_cast<int>(i));
    }
}

TEST_F(WorkerPool, ATaskAlwaysCompletesWhateverItsBodyThrows) {
    ExpandableThreadedTaskQueue queue(1);
    auto standard = submit(queue, []() -> int { throw std::runtime_error("calibration failed"); });
    auto memory = submit(queue, []() -> int { throw std::bad_alloc(); });
    auto other = submit(queue, []() -> int { throw 42; });
    auto empty = submit(queue, std::function<int()>());
    TaskSlot emptySlot;  // queues a null task
    queue.enqueue(emptySlot);
    auto fine = submit(queue, [] { return 5; });
    for (auto* completion : {standard.get(), memory.get(), other.get(), empty.get(), fine.get()}) {
        ASSERT_TRUE(finishes(*completion));
        EXPECT_EQ(completion->count(), 1);
    }
    // A failure is never reported as success.
    EXPECT_EQ(standard->result(), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(memory->result(), qverr::qvapalerr_memoryFull);
    EXPECT_EQ(other->result(), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(empty->result(), qverr::qvapalerr_softwareFaultAPALInternalUseOnly);
    EXPECT_EQ(fine->result(), 5);
}

// A task whose worker cannot start is not queued: the caller is told the
// call failed, and the task never runs later on a worker that came free.
TEST_F(WorkerPool, ATaskWhoseWorkerCannotStartNeverRuns) {
    auto refused = std::make_shared<TaskCompletion>();
    Gate gate;  // outlives the queue, whose destruction waits for the tasks
    {
        ExpandableThreadedTaskQueue queue(1);
        auto busy = submit(queue, [&] { return gate.pass() ? 1 : -1; });
        ASSERT_TRUE(gate.waitForArrivals(1));
        ASSERT_TRUE(qvtest::withSyscallFaults({{SYS_clone3, EAGAIN}, {SYS_clone, EAGAIN}}, [&] {
            TaskSlot slot(new IntTask(refused, [] { return 2; }));
            EXPECT_THROW(queue.enqueue(slot), std::system_error);
        }));
        gate.open();
        ASSERT_TRUE(finishes(*busy));
        auto later = submit(queue, [] { return 3; });
        ASSERT_TRUE(finishes(*later));
        EXPECT_EQ(later->result(), 3);
    }  // destruction runs what is still queued
    EXPECT_EQ(refused->count(), 0);
}

#ifndef QV_THREAD_CHECKER
// A task whose copy is the last allocation its thread may make: what the
// queue needs after the copy is refused. Counts its objects alive.
class LastAllocationTask : public selfcalhal::Task {
public:
    static inline std::atomic<int> live{0};
    LastAllocationTask() { ++live; }
    LastAllocationTask(const LastAllocationTask&) : Task() { ++live; }
    ~LastAllocationTask() override { --live; }
    Task* clone() const override {
        auto* copy = new LastAllocationTask(*this);
        qvtest::allocations::refusing = true;
        return copy;
    }
    void execute() override {}
};

// The queue's storage grows now and then; a copy queued when growing is
// refused goes with the refusal instead of being lost.
TEST_F(WorkerPool, ACopyThatFindsNoRoomInTheQueueIsFreed) {
    setBound("1");  // no worker to start: the queue's storage is all it allocates
    bool refused = false;
    {
        ExpandableThreadedTaskQueue queue(1);
        TaskSlot slot(new LastAllocationTask);
        for (int i = 0; i < 4096 && !refused; ++i) {
            try {
                queue.enqueue(slot);
            } catch (const std::bad_alloc&) {
                refused = true;
            }
            qvtest::allocations::refusing = false;
        }
    }  // destruction runs what is still queued
    EXPECT_TRUE(refused);
    EXPECT_EQ(LastAllocationTask::live.load(), 0);
}
#endif

}  // namespace
