// Cost of one request through the device-file proxy against a bare ioctl(2)
// on the same descriptor. The descriptor is a FIFO and the request FIONREAD,
// which the kernel answers at once, so the figures show the proxy's own
// overhead: the request block, the status check and the seam.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "../ratioReporter.h"
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

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {
                                       {"proxy request / bare ioctl on the same descriptor",
                                        "BM_ProxyRequest", "BM_BareIoctl"},
                                   });
}
