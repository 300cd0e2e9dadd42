#include "SelfCalHALImpl/TaskQueue.h"

#include "HALUtilities/ErrorHandling.h"
#include "qverr/DetailWriter.h"
#include "qverr/Exception.h"

namespace selfcalhal {

void Task::executeNoThrow() noexcept {
    try {
        execute();
    } catch (...) {
    }
}

void TaskCompletion::complete(int32_t result) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = result;
        counter_.fetch_add(1);
    }
    completed_.notify_all();
}

bool TaskCompletion::waitFor(std::chrono::microseconds interval) {
    std::unique_lock<std::mutex> lock(mutex_);
    return completed_.wait_for(lock, interval, [&] { return counter_.load() != 0; });
}

ExpandableThreadedTaskQueue::ExpandableThreadedTaskQueue(uint32_t initialThreads) {
    accessor_ = std::make_unique<runtime_toggles::SystemSettingsAccessor>(accessorStatus_);
    qverr::throwIfTStatusError(accessorStatus_);
    nQVAPALS100::tStatus togglesStatus;
    toggles_.initialize("qvrf", "features.ini", "vorlane", accessor_.get(), togglesStatus);
    qverr::throwIfTStatusError(togglesStatus);
    // A missing file, section or value leaves the default: no bound.
    nQVAPALS100::tStatus boundStatus;
    int bound = -1;
    toggles_.getValue("UpperBoundValueOfThreadsInPool", -1, bound, boundStatus);
    threadBound_ = boundStatus.isError() ? -1 : bound;
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        for (uint32_t i = 0; i < initialThreads; ++i) startWorker();
    } catch (...) {
        // Workers already started must not outlive the half-built queue.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            shutdown_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) thread.join();
        throw;
    }
}

ExpandableThreadedTaskQueue::~ExpandableThreadedTaskQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutdown_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void ExpandableThreadedTaskQueue::startWorker() {
    threads_.emplace_back([this] { workerLoop(); });
    // Idle from its start: a worker still starting takes a queued task as
    // surely as one already waiting.
    ++idle_;
}

void ExpandableThreadedTaskQueue::enqueue(TaskSlot& slot) {
    // A forked child holds a copy of its parent's pool without the workers:
    // a task queued there would wait out its whole time-out. The caller's
    // session belongs to the parent; it is refused as a handle of no session
    // here would be.
    if (!servedHere()) {
        qverr::throwWithMessage(qverr::qvapalerr_invalidParameter,
                                QVERR_LOCATION(qv3377hal::kComponent, "qvapalerr_invalidParameter"),
                                "ExpandableThreadedTaskQueue",
                                "session of another process: open one in this process");
    }
    std::unique_ptr<Task> copy(slot.get().clone());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Every queued task needs a worker of its own: one waiting behind
        // another session's hours-long calibration would time out. Widened
        // with its sign, any negative bound is no bound. The worker starts
        // before the task is queued: when it cannot start, the caller is
        // told so and the task must never run behind its back.
        if (pending_.size() >= idle_ &&
            (threadBound_ < 0 || static_cast<uint64_t>(threads_.size()) <
                                     static_cast<uint64_t>(static_cast<int64_t>(threadBound_)))) {
            startWorker();
        }
        // Moved out only once its slot exists: a slot refused frees it.
        pending_.emplace_back(std::move(copy));
    }
    wake_.notify_one();
}

void ExpandableThreadedTaskQueue::workerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return shutdown_ || !pending_.empty(); });
        if (pending_.empty()) return;  // shut down, nothing left to run
        std::unique_ptr<Task> task = pending_.front().release();
        pending_.pop_front();
        --idle_;
        lock.unlock();
        if (task) task->executeNoThrow();
        task.reset();
        lock.lock();
        ++idle_;
    }
}

namespace {

// The process's pool, built on first use outside any lock (it reads the
// settings and starts a worker); a forked child builds its own.
constinit qv3377hal::PerProcess<ExpandableThreadedTaskQueue> pool;

}  // namespace

ExpandableThreadedTaskQueue& processQueue() {
    return pool.get(1u);
}

}  // namespace selfcalhal
