// The reader path of the FPGA object's lock (no writer around) against
// std::shared_mutex, with 1 to 8 readers at once.
#include <benchmark/benchmark.h>

#include <shared_mutex>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "atomiczekddk/shared/ReaderWriterLock.h"

namespace {

qvzek::ReaderWriterLock& lock() {
    static nQVAPALS100::tStatus status;
    static qvzek::ReaderWriterLock instance(status);
    return instance;
}

std::shared_mutex& sharedMutex() {
    static std::shared_mutex instance;
    return instance;
}

void BM_ReaderWriterLockRead(benchmark::State& state) {
    qvzek::ReaderWriterLock& l = lock();
    for (auto _ : state) {
        l.lockRead();
        benchmark::ClobberMemory();
        l.unlockRead();
    }
}

void BM_SharedMutexRead(benchmark::State& state) {
    std::shared_mutex& m = sharedMutex();
    for (auto _ : state) {
        m.lock_shared();
        benchmark::ClobberMemory();
        m.unlock_shared();
    }
}

BENCHMARK(BM_ReaderWriterLockRead)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_SharedMutexRead)->ThreadRange(1, 8)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    static std::vector<std::string> labels;
    std::vector<RatioSpec> ratios;
    for (const char* threads : {"1", "2", "4", "8"})
        labels.push_back(std::string("reader path / std::shared_mutex, ") + threads + " readers");
    size_t label = 0;
    for (const char* threads : {"1", "2", "4", "8"}) {
        ratios.push_back({labels[label++].c_str(),
                          std::string("BM_ReaderWriterLockRead/real_time/threads:") + threads,
                          std::string("BM_SharedMutexRead/real_time/threads:") + threads});
    }
    return runBenchmarksWithRatios(argc, argv, ratios);
}
