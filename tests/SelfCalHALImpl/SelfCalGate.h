// A gate that tasks wait at until the test opens it; every wait ends after
// ten seconds at the latest, so a failing test cannot hang.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace selfcaltest {

class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // True when opened, false after the ten seconds.
    bool pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return open_; });
    }
    // Waits until `count` callers have reached the gate.
    bool waitForArrivals(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return waiting_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

}  // namespace selfcaltest
