// A calibration call handed to the worker pool and waited for, against the
// floor of any cross-thread call: one hand-off to a waiting thread and back
// over a mutex and condition variable.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "SelfCalHALImpl/CalibrationLibrary.h"
#include "ratioReporter.h"

namespace {

int32_t calibrate(const char* resource, const char*) {
    return resource[0];
}

// The floor: a persistent thread that runs one request per hand-off.
class Handoff {
public:
    Handoff() : thread_([this] { serve(); }) {}
    ~Handoff() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        request_.notify_one();
        thread_.join();
    }
    int32_t call() {
        std::unique_lock<std::mutex> lock(mutex_);
        pending_ = true;
        lock.unlock();
        request_.notify_one();
        lock.lock();
        done_.wait(lock, [&] { return !pending_; });
        return result_;
    }

private:
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            request_.wait(lock, [&] { return stop_ || pending_; });
            if (stop_) return;
            result_ = calibrate("Q", "");
            pending_ = false;
            lock.unlock();
            done_.notify_one();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable request_;
    std::condition_variable done_;
    bool pending_ = false;
    bool stop_ = false;
    int32_t result_ = 0;
    std::thread thread_;
};

void BM_BareHandoff(benchmark::State& state) {
    Handoff handoff;
    for (auto _ : state) benchmark::DoNotOptimize(handoff.call());
}
BENCHMARK(BM_BareHandoff);

void BM_CalibrationCallOnThePool(benchmark::State& state) {
    selfcalhal::ExpandableThreadedTaskQueue queue(1);
    auto wrapper = std::make_shared<selfcalhal::SelfCalHAL>();
    wrapper->setEntryPoint(1, reinterpret_cast<void*>(&calibrate));
    selfcalhal::SelfCalThreaded runner(wrapper, queue);
    const std::string resource = "Q";
    const std::string configuration = "bitfileName:b,refClock:R,";
    for (auto _ : state) benchmark::DoNotOptimize(runner.selfCalibrate(resource, configuration));
}
BENCHMARK(BM_CalibrationCallOnThePool);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {
                                       {"calibration call on the pool / bare thread hand-off",
                                        "BM_CalibrationCallOnThePool", "BM_BareHandoff"},
                                   });
}
