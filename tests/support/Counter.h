// Counts events from any thread; a test waits until enough have come.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qvtest {

class Counter {
public:
    // The new count.
    int increment() {
        std::lock_guard<std::mutex> lock(mutex_);
        const int count = ++count_;
        changed_.notify_all();
        return count;
    }
    bool waitFor(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

}  // namespace qvtest
