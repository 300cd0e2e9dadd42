#include "SelfCalHALImpl/TaskQueue.h"

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
}

void ExpandableThreadedTaskQueue::enqueue(TaskSlot& slot) {
    std::unique_ptr<Task> copy(slot.get().clone());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Widened with its sign, any negative bound is no bound.
        if (idle_ == 0 &&
            (threadBound_ == -1 || static_cast<uint64_t>(threads_.size()) <
                                       static_cast<uint64_t>(static_cast<int64_t>(threadBound_)))) {
            startWorker();
        }
        pending_.emplace_back(copy.release());
    }
    wake_.notify_one();
}

void ExpandableThreadedTaskQueue::workerLoop() {
    for (;;) {
        std::unique_ptr<Task> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++idle_;
            wake_.wait(lock, [&] { return shutdown_ || !pending_.empty(); });
            --idle_;
            if (pending_.empty()) return;  // shut down, nothing left to run
            task = pending_.front().release();
            pending_.pop_front();
        }
        if (task) task->executeNoThrow();
    }
}

ExpandableThreadedTaskQueue& processQueue() {
    static ExpandableThreadedTaskQueue queue(1);
    return queue;
}

}  // namespace selfcalhal
