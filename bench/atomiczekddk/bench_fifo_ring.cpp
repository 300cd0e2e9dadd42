// The FIFO ring's data paths against memcpy of the same bytes out of the
// same host buffer. The device side has filled the ring whenever asked, so
// the figures show the ring's own cost; the counter calls/MiB gives the
// device requests a real driver would add (one wait per ring's worth, one
// release per chunk).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/user/fifo/FifoDataAccessStrategyWendle.h"

namespace {

using nQVAPALS100::tStatus;

constexpr uint64_t kElement = 8;
constexpr uint64_t kRingBytes = 8u << 20;
constexpr uint64_t kMirrorBytes = 1u << 20;
constexpr uint64_t kMiB = 1u << 20;

// A device that always has filled the whole ring beyond what was released.
struct FullDevice : qvzek::IFifoAcquirerReleaser {
    uint64_t released = 0;
    uint64_t calls = 0;
    uint64_t waitForBytes(uint64_t, uint32_t, bool* timedOut, tStatus&, uint64_t*) override {
        ++calls;
        *timedOut = false;
        return released + kRingBytes;
    }
    void releaseBytes(uint64_t bytes, tStatus&) override {
        ++calls;
        released += bytes;
    }
};

struct Ring {
    qvzek::HostBuffer buffer;
    FullDevice device;
    qvzek::FifoDataAccessStrategyWendle ring{device, kElement};
    Ring() {
        buffer.allocate(kRingBytes, kMirrorBytes, -1);
        std::memset(buffer.address(), 0x5A, kRingBytes);
        ring.configure(buffer.address(), kRingBytes / kElement, kMirrorBytes / kElement);
    }
};

void report(benchmark::State& state, uint64_t bytes, uint64_t calls) {
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["calls/MiB"] =
        benchmark::Counter(static_cast<double>(calls) * kMiB / static_cast<double>(bytes));
}

void BM_Memcpy(benchmark::State& state) {
    const uint64_t chunk = static_cast<uint64_t>(state.range(0));
    qvzek::HostBuffer buffer;
    buffer.allocate(kRingBytes, kMirrorBytes, -1);
    std::memset(buffer.address(), 0x5A, kRingBytes);
    std::vector<uint8_t> out(chunk);
    const auto* ring = static_cast<const uint8_t*>(buffer.address());
    uint64_t offset = 0, bytes = 0;
    for (auto _ : state) {
        std::memcpy(out.data(), ring + offset, chunk);
        benchmark::DoNotOptimize(out.data());
        offset = (offset + chunk) % kRingBytes;
        bytes += chunk;
    }
    report(state, bytes, 0);
}

// Runs `step` (ring, chunk in elements, destination) once per iteration.
template <typename Step>
void ringBenchmark(benchmark::State& state, Step step) {
    const uint64_t chunk = static_cast<uint64_t>(state.range(0));
    Ring ring;
    std::vector<uint8_t> out(chunk);
    uint64_t bytes = 0;
    for (auto _ : state) {
        tStatus status;
        if (step(ring.ring, chunk / kElement, out.data(), status) != chunk || status.isError()) {
            state.SkipWithError("ring refused");
        }
        benchmark::DoNotOptimize(out.data());
        bytes += chunk;
    }
    report(state, bytes, ring.device.calls);
}

void BM_RingAcquireCopyRelease(benchmark::State& state) {
    ringBenchmark(state, [](auto& ring, uint64_t elements, uint8_t* out, tStatus& status) {
        void* address = nullptr;
        bool timedOut = false;
        uint64_t count = 0;
        ring.acquire(&address, elements, 0, &timedOut, &count, nullptr, status);
        std::memcpy(out, address, count * kElement);
        ring.release(count, status);
        return count * kElement;
    });
}

void BM_RingRead(benchmark::State& state) {
    ringBenchmark(state, [](auto& ring, uint64_t elements, uint8_t* out, tStatus& status) {
        bool timedOut = false;
        ring.read(out, elements, 0, &timedOut, nullptr, status);
        return elements * kElement;
    });
}

#define QV_CHUNKS RangeMultiplier(16)->Range(64, 1 << 20)
BENCHMARK(BM_Memcpy)->QV_CHUNKS;
BENCHMARK(BM_RingAcquireCopyRelease)->QV_CHUNKS;
BENCHMARK(BM_RingRead)->QV_CHUNKS;

}  // namespace

int main(int argc, char** argv) {
    std::vector<RatioSpec> ratios;
    static std::vector<std::string> labels;
    for (const char* size : {"64", "256", "4096", "65536", "1048576"}) {
        labels.push_back(std::string("ring acquire+copy+release / memcpy, ") + size + " B");
        labels.push_back(std::string("ring read / memcpy, ") + size + " B");
    }
    size_t label = 0;
    for (const char* size : {"64", "256", "4096", "65536", "1048576"}) {
        ratios.push_back({labels[label++].c_str(), std::string("BM_RingAcquireCopyRelease/") + size,
                          std::string("BM_Memcpy/") + size});
        ratios.push_back({labels[label++].c_str(), std::string("BM_RingRead/") + size,
                          std::string("BM_Memcpy/") + size});
    }
    return runBenchmarksWithRatios(argc, argv, ratios);
}
