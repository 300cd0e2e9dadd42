// A thread that only waits, started before the benchmarks run: every host
// (and the library itself) runs more than one thread, and the C library
// skips a lock's atomic instructions while a process has only one.
#pragma once

#include <future>
#include <thread>

class SecondThread {
public:
    SecondThread() : thread_([ended = stop_.get_future()] { ended.wait(); }) {}
    SecondThread(const SecondThread&) = delete;
    SecondThread& operator=(const SecondThread&) = delete;
    ~SecondThread() {
        stop_.set_value();
        thread_.join();
    }

private:
    std::promise<void> stop_;
    std::thread thread_;
};
