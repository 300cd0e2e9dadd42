// Cost of a request through a generated proxy method against the same
// request packed by hand and sent through the same device file, and against
// the floor: the system call alone with a request block built once, on the
// same descriptor. All are answered by the simulated driver, which stands
// where the kernel driver would; the system call is the seam's ioctl, which
// is ioctl(2) itself on hardware. Prints the ratios after the runs.
#include <benchmark/benchmark.h>

#include <string>

#include "../ratioReporter.h"
#include "apal_qv3377k/tInterfaceProxy_qv3377k.h"
#include "kerneldriver/Driver.h"
#include "qvapal/protons/system/tSystemInterface.h"

namespace {

using namespace sdihal;
using nQVAPALS100::tStatus;

constexpr uint32_t kGetTemperature = 0x00204202;

// The request's blocks, laid out by hand.
struct In {
    uint32_t sensor, selector;
    int32_t status;
};
struct Out {
    uint32_t numerator, denominator;
    int32_t reply;
};

struct Device {
    qvsim::Driver driver;
    std::string path = driver.addDevice("qv3377k0");
    tInterfaceProxy_qv3377k proxy;

    Device() {
        driver.onRequest(
            kGetTemperature,
            [](qvsim::Request& request) {
                request.out<uint32_t>(0, 25 + request.in<uint32_t>(0));
                request.out<uint32_t>(4, 1);
                return 0;
            },
            12, 12);
        tStatus status;
        proxy.open(path.c_str(), status);
    }

    // The driver keeps a record of every request; both loops drop them alike.
    void tidy(uint64_t iteration) {
        if (iteration % 4096 == 0) driver.clearRequests();
    }
};

void BM_GeneratedProxyMethod(benchmark::State& state) {
    Device device;
    iInterfaceProxy_rfplat& rfplat = device.proxy;
    uint64_t iteration = 0;
    tStatus status;  // the caller's: it stays clean, as the driver answers 0
    for (auto _ : state) {
        int32_t numerator = 0, denominator = 0;
        rfplat.getTemperature(1, 2, &numerator, &denominator, status);
        benchmark::DoNotOptimize(numerator);
        benchmark::DoNotOptimize(denominator);
        device.tidy(++iteration);
    }
}
BENCHMARK(BM_GeneratedProxyMethod);

void BM_HandPackedRequest(benchmark::State& state) {
    Device device;
    uint64_t iteration = 0;
    tStatus status;
    for (auto _ : state) {
        uint32_t numerator = 0, denominator = 0;
        In in{1, 2, static_cast<int32_t>(status.getCode())};
        Out out{};
        tStatus local;
        device.proxy.ioctl(kGetTemperature, &in, sizeof in, &out, sizeof out, local);
        if (!local.isError()) {
            numerator = out.numerator;
            denominator = out.denominator;
            status.setCode(out.reply, "qv3377hal", "apal_qv3377k/tInterfaceProxy_qv3377k", 1);
        } else {
            status.merge(local);
        }
        benchmark::DoNotOptimize(numerator);
        benchmark::DoNotOptimize(denominator);
        device.tidy(++iteration);
    }
}
BENCHMARK(BM_HandPackedRequest);

void BM_BareIoctl(benchmark::State& state) {
    Device device;
    In in{1, 2, 0};
    Out out{};
    nQVAPAL000::tKernelRequestBlock block{reinterpret_cast<uintptr_t>(&in),
                                          reinterpret_cast<uintptr_t>(&out),
                                          sizeof in,
                                          sizeof out,
                                          0,
                                          0};
    const auto ioctl = nQVAPAL000::systemInterface().ioctl;
    const int fd = device.proxy.descriptor();
    uint64_t iteration = 0;
    for (auto _ : state) {
        block.bytesReturned = 0;  // the driver writes it back
        if (ioctl(fd, kGetTemperature, &block) != 0) state.SkipWithError("request refused");
        benchmark::DoNotOptimize(out);
        device.tidy(++iteration);
    }
}
BENCHMARK(BM_BareIoctl);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"generated proxy method / hand-packed request", "BM_GeneratedProxyMethod",
             "BM_HandPackedRequest"},
            {"generated proxy method / bare ioctl", "BM_GeneratedProxyMethod", "BM_BareIoctl"},
        });
}
