// Cost of one request through the device-file proxy against a bare ioctl(2)
// on the same descriptor. The descriptor is a FIFO and the request FIONREAD,
// which the kernel answers at once, so the figures show the proxy's own
// overhead: the request block, the status check and the seam.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "qvapal/protons/driver/tDeviceInterfaceProxy.h"

namespace {

using sdihal::nQVAPAL000::tDeviceInterfaceProxy;
using sdihal::nQVAPAL000::tKernelRequestBlock;

// A FIFO opened through the proxy, removed again at exit.
struct Fifo {
    std::string directory;
    std::string path;
    tDeviceInterfaceProxy proxy;

    Fifo() {
        char pattern[] = "/tmp/qvbench-XXXXXX";
        directory = mkdtemp(pattern);
        path = directory + "/fifo";
        mkfifo(path.c_str(), 0600);
        nQVAPALS100::tStatus status;
        proxy.open(path.c_str(), status);
        if (status.isError()) std::abort();
    }
    ~Fifo() {
        proxy.close();
        unlink(path.c_str());
        rmdir(directory.c_str());
    }
};

Fifo& fifo() {
    static Fifo instance;
    return instance;
}

void bareRequest(int fd) {
    tKernelRequestBlock block{};
    benchmark::DoNotOptimize(::ioctl(fd, FIONREAD, &block));
    benchmark::DoNotOptimize(block);
}

void proxyRequest(tDeviceInterfaceProxy& proxy) {
    uint32_t in = 0, out = 0;
    nQVAPALS100::tStatus status;
    benchmark::DoNotOptimize(proxy.ioctl(FIONREAD, &in, sizeof in, &out, sizeof out, status));
    if (status.isError()) std::abort();
}

void BM_BareIoctl(benchmark::State& state) {
    const int fd = fifo().proxy.descriptor();
    for (auto _ : state) bareRequest(fd);
}
BENCHMARK(BM_BareIoctl);

void BM_ProxyRequest(benchmark::State& state) {
    tDeviceInterfaceProxy& proxy = fifo().proxy;
    for (auto _ : state) proxyRequest(proxy);
}
BENCHMARK(BM_ProxyRequest);

// Both in alternating batches of one run; "ratio" is proxy time over bare time.
void BM_ProxyOverBareIoctl(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    constexpr int kBatch = 256;
    tDeviceInterfaceProxy& proxy = fifo().proxy;
    const int fd = proxy.descriptor();
    Clock::duration bare{}, proxied{};
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) bareRequest(fd);
        const auto middle = Clock::now();
        for (int i = 0; i < kBatch; ++i) proxyRequest(proxy);
        const auto end = Clock::now();
        bare += middle - start;
        proxied += end - middle;
        state.SetIterationTime(std::chrono::duration<double>(end - middle).count() / kBatch);
    }
    const double calls = static_cast<double>(state.iterations()) * kBatch;
    state.counters["bare_ns"] = std::chrono::duration<double, std::nano>(bare).count() / calls;
    state.counters["proxy_ns"] = std::chrono::duration<double, std::nano>(proxied).count() / calls;
    state.counters["ratio"] = static_cast<double>(proxied.count()) / static_cast<double>(bare.count());
}
BENCHMARK(BM_ProxyOverBareIoctl)->UseManualTime();

}  // namespace
