// The calibration worker pool: tasks and the process-wide queue whose
// workers run them. Calls into the calibration library never run on the
// caller's thread; the caller waits for the task's completion instead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "HALUtilities/OwningProcess.h"
#include "qverr/Status.h"
#include "tolmRuntimeFeatureToggles/RuntimeToggles.h"

namespace selfcalhal {

class Task {
public:
    virtual ~Task() = default;
    // A new heap copy owned by the caller.
    virtual Task* clone() const = 0;
    virtual void execute() = 0;
    // Runs execute; nothing escapes.
    void executeNoThrow() noexcept;
};

class NullTask : public Task {
public:
    Task* clone() const override { return new NullTask; }
    void execute() override {}
};

// What one submission shares between its task and its waiter. The task
// owns a reference, so a waiter that gave up (timed out) and went away
// leaves nothing behind for the late task to write into.
class TaskCompletion {
public:
    // The result, then the count: a waiter that sees the count sees the
    // result.
    void complete(int32_t result);
    int32_t count() const { return counter_.load(); }
    int32_t result() const { return result_; }
    // Waits until completed or `interval` passed; true when completed.
    bool waitFor(std::chrono::microseconds interval);

private:
    std::atomic<int32_t> counter_{0};
    int32_t result_ = 0;
    std::mutex mutex_;
    std::condition_variable completed_;
};

// Runs a functor and always completes its submission: the functor's
// result, or the code of what it threw (-52000 out of memory, -52003 any
// other exception), so no waiter is left waiting for a task that failed.
template <class Functor, class Result>
class FunctorTaskWithReturn : public Task {
public:
    FunctorTaskWithReturn(std::shared_ptr<TaskCompletion> completion, Functor functor)
        : completion_(std::move(completion)), functor_(std::move(functor)) {}
    Task* clone() const override { return new FunctorTaskWithReturn(*this); }
    void execute() override {
        Result result;
        try {
            result = functor_();
        } catch (const std::bad_alloc&) {
            result = qverr::qvapalerr_memoryFull;
        } catch (...) {
            result = qverr::qvapalerr_softwareFaultAPALInternalUseOnly;
        }
        completion_->complete(result);
    }

private:
    std::shared_ptr<TaskCompletion> completion_;
    Functor functor_;
};

using IntTask = FunctorTaskWithReturn<std::function<int()>, int>;

// The unit the queue stores: an owned task, read as a NullTask when empty.
class TaskSlot {
public:
    TaskSlot() = default;
    explicit TaskSlot(Task* task) : task_(task) {}
    explicit TaskSlot(std::unique_ptr<Task> task) : task_(std::move(task)) {}
    const Task& get() const {
        if (task_) return *task_;
        return null_;
    }
    Task& get() { return task_ ? *task_ : null_; }
    bool empty() const { return !task_; }
    std::unique_ptr<Task> release() { return std::move(task_); }

private:
    std::unique_ptr<Task> task_;
    NullTask null_;
};

class TaskQueue {
public:
    virtual ~TaskQueue() = default;
    // Queues a copy of the slot's task; the caller keeps its own.
    virtual void enqueue(TaskSlot& slot) = 0;
};

// Grows by one worker whenever queued tasks outnumber the idle workers, up
// to the toggle "UpperBoundValueOfThreadsInPool" (-1: no bound); never
// shrinks. The destructor runs what is still queued, then joins.
class ExpandableThreadedTaskQueue : public TaskQueue {
public:
    explicit ExpandableThreadedTaskQueue(uint32_t initialThreads);
    ExpandableThreadedTaskQueue(const ExpandableThreadedTaskQueue&) = delete;
    ExpandableThreadedTaskQueue& operator=(const ExpandableThreadedTaskQueue&) = delete;
    ~ExpandableThreadedTaskQueue() override;

    // Throws std::system_error when a worker it needs cannot start, and
    // -52005 in a forked child (the workers are the parent's); nothing is
    // queued then.
    void enqueue(TaskSlot& slot) override;
    // Whether this process runs the workers (not a forked child's copy).
    bool servedHere() const { return owner_.isCurrent(); }

private:
    void startWorker();
    void workerLoop();

    std::vector<std::thread> threads_;
    std::deque<TaskSlot> pending_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool shutdown_ = false;
    // Workers not running a task (waiting, or not yet waiting).
    uint32_t idle_ = 0;
    nQVAPALS100::tStatus accessorStatus_;
    std::unique_ptr<runtime_toggles::SystemSettingsAccessor> accessor_;
    runtime_toggles::RuntimeToggles<int, int, 12> toggles_;
    int32_t threadBound_ = -1;
    const qv3377hal::OwningProcess owner_;
};

// The queue every self-calibration session shares, built with one worker on
// first use (loading the library starts no thread) and joined at exit.
ExpandableThreadedTaskQueue& processQueue();

}  // namespace selfcalhal
