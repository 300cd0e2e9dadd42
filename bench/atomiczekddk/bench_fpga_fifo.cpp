// A target-to-host FIFO on the simulated FPGA device read in 64 KiB and
// 1 MiB chunks, and the same chunks taken as zero-copy regions. The
// simulated device writes every element into the ring while the host waits
// (a DMA engine does that beside the processor on hardware), so the floor
// of a read is the driver's own requests called directly (wait for the
// bytes, release them) with memcpy of the same bytes out of the same ring,
// and the floor of a region is those requests alone. calls/MiB counts the
// driver requests sent.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/memory/HostBuffer.h"
#include "atomiczekddk/user/fifo/Fifo.h"
#include "fpgadevice/FpgaDevice.h"

namespace {

using nQVAPALS100::tStatus;

constexpr uint64_t kElement = 8;
constexpr uint64_t kRingElements = 1u << 20;  // 8 MiB
constexpr uint64_t kMiB = 1u << 20;
constexpr uint32_t kNumber = 0;
constexpr uint64_t kSession = 0xBE7C;

struct Device {
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder};
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();
    std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo> fifoInterface{proxy, proxy.get()};
    uint64_t calls = 0;

    Device() {
        tStatus status;
        proxy->open(device.path().c_str(), status);
        device.describeFifo(kNumber, kElement, qvzek::kFifoTargetToHost);
    }

    // The call log grows with every request: counted and dropped now and
    // then, outside the timed part.
    void tidy(benchmark::State& state, uint64_t iteration) {
        if (iteration % 64 != 0) return;
        state.PauseTiming();
        calls += decoder.requests().size();
        decoder.clear();
        driver.clearRequests();
        state.ResumeTiming();
    }
    void report(benchmark::State& state, uint64_t bytes) {
        calls += decoder.requests().size();
        state.SetBytesProcessed(static_cast<int64_t>(bytes));
        state.counters["calls/MiB"] =
            benchmark::Counter(static_cast<double>(calls) * kMiB / static_cast<double>(bytes));
    }

    std::unique_ptr<qvzek::Fifo> fifo() {
        auto made = std::make_unique<qvzek::Fifo>(
            qvzek::NamedFifo("fetch",
                             qvzek::FifoDescriptor(qvzek::kResourceClassFifo,
                                                   qvzek::kFifoTargetToHost, qvzek::TypeU64()),
                             kNumber, 1024, true, "base"),
            fifoInterface, kSession, -1, -1);
        made->configure(kRingElements, nullptr, 0);
        made->start(0);
        decoder.clear();
        driver.clearRequests();
        return made;
    }
};

// The driver's requests called directly on a ring of the same size,
// copying each chunk out (copy) or not (no copy).
void driverFloor(benchmark::State& state, bool copy) {
    const uint64_t chunk = static_cast<uint64_t>(state.range(0));
    Device device;
    qvzek::HostBuffer buffer;
    buffer.allocate(kRingElements * kElement, kRingElements * kElement, -1);
    tStatus status;
    const std::array<uint64_t, 4> words = {reinterpret_cast<uintptr_t>(buffer.address()),
                                           kRingElements * kElement, kRingElements * kElement,
                                           1 | uint64_t{2} << 32};
    device.proxy->configureFifo(kSession, kNumber, words, status);
    device.proxy->startFifo(kSession, kNumber, status);
    std::vector<uint8_t> out(chunk);
    const auto* ring = static_cast<const uint8_t*>(buffer.address());
    uint64_t position = 0, iteration = 0;
    uint8_t timedOut = 0;
    for (auto _ : state) {
        device.proxy->waitForBytes(kSession, kNumber, position + chunk, 1000, &timedOut, status);
        if (copy) std::memcpy(out.data(), ring + position % (kRingElements * kElement), chunk);
        benchmark::DoNotOptimize(out.data());
        device.proxy->releaseBytes(kSession, kNumber, chunk, status);
        position += chunk;
        device.tidy(state, ++iteration);
    }
    if (status.isError()) state.SkipWithError("device refused");
    device.report(state, position);
}

void BM_DriverAndMemcpy(benchmark::State& state) {
    driverFloor(state, true);
}
void BM_DriverOnly(benchmark::State& state) {
    driverFloor(state, false);
}

void BM_FifoRead(benchmark::State& state) {
    const uint64_t chunk = static_cast<uint64_t>(state.range(0));
    Device device;
    auto fifo = device.fifo();
    std::vector<uint8_t> out(chunk);
    uint64_t bytes = 0, iteration = 0;
    for (auto _ : state) {
        uint8_t timedOut = 0;
        fifo->read(qvzek::TypeU64(), out.data(), chunk / kElement, 1000, &timedOut, nullptr, 0);
        benchmark::DoNotOptimize(out.data());
        bytes += chunk;
        device.tidy(state, ++iteration);
    }
    device.report(state, bytes);
}

void BM_FifoRegion(benchmark::State& state) {
    const uint64_t chunk = static_cast<uint64_t>(state.range(0));
    Device device;
    auto fifo = device.fifo();
    uint64_t bytes = 0, iteration = 0;
    for (auto _ : state) {
        uint64_t handle = 0, got = 0;
        void* region = nullptr;
        uint8_t timedOut = 0;
        fifo->acquireReadRegion(qvzek::TypeU64(), &handle, &region, chunk / kElement, 1000,
                                &timedOut, &got, nullptr, 0);
        benchmark::DoNotOptimize(region);
        fifo->releaseRegion(reinterpret_cast<uint64_t*>(static_cast<uintptr_t>(handle)));
        bytes += got * kElement;
        device.tidy(state, ++iteration);
    }
    device.report(state, bytes);
}

#define QV_CHUNKS Arg(64 << 10)->Arg(1 << 20)
BENCHMARK(BM_DriverAndMemcpy)->QV_CHUNKS;
BENCHMARK(BM_DriverOnly)->QV_CHUNKS;
BENCHMARK(BM_FifoRead)->QV_CHUNKS;
BENCHMARK(BM_FifoRegion)->QV_CHUNKS;

}  // namespace

int main(int argc, char** argv) {
    static std::vector<std::string> labels;
    std::vector<RatioSpec> ratios;
    for (const char* size : {"65536", "1048576"}) {
        labels.push_back(std::string("fifo read / driver requests+memcpy, ") + size + " B");
        labels.push_back(std::string("fifo region acquire+release / driver requests, ") + size +
                         " B");
    }
    size_t label = 0;
    for (const char* size : {"65536", "1048576"}) {
        ratios.push_back({labels[label++].c_str(), std::string("BM_FifoRead/") + size,
                          std::string("BM_DriverAndMemcpy/") + size});
        ratios.push_back({labels[label++].c_str(), std::string("BM_FifoRegion/") + size,
                          std::string("BM_DriverOnly/") + size});
    }
    return runBenchmarksWithRatios(argc, argv, ratios);
}
