// A register read and a zero-timeout interrupt poll through the low-level
// FPGA session (reader side of the FPGA lock, accessor, proxy) against the
// same driver requests sent directly through the proxy: the floor. Both run
// on the simulated FPGA device with the sample bitfile opened.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "../ratioReporter.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "atomiczekddk/user/session/Session.h"
#include "fpgadevice/FpgaDevice.h"

namespace {

constexpr uint32_t kRegister = 0x8020;

const std::string kSample = std::string(QV_BITFILE_CORPUS) + "/sample.xml";

class Accept : public qvzek::ITargetClassChecker {
public:
    bool isCompatible(std::string_view) override { return true; }
};
class Configurer : public qvzek::IPersonalityConfigurer {
public:
    void configure(bool* result) override { *result = false; }
};

struct Setup {
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder};
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();
    Accept checker;
    Configurer configurer;
    std::unique_ptr<qvzek::user::Session> session;

    Setup() {
        nQVAPALS100::tStatus status;
        proxy->open(device.path().c_str(), status);
        auto fpga = std::make_shared<qvzek::user::Fpga>(
            proxy, std::make_shared<qvzek::FifoFactory>(
                       std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo>(proxy, proxy.get())));
        auto io = std::make_shared<qvzek::user::IoAccessorIoctl>(*proxy);
        // The sample's host-memory description is of an older form: left out.
        std::ifstream in(kSample);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        text.erase(text.find("<HMB>"), text.find("</LLB>") + 6 - text.find("<HMB>"));
        auto bitfile = std::make_shared<const qvzek::Bitfile>(text, false, true, false);
        device.setControlAddress(bitfile->getBaseAddressOnDevice() + bitfile->getViControlOffset());
        session = std::make_unique<qvzek::user::Session>(fpga, proxy, configurer, checker, io, bitfile,
                                                         "0123456789ABCDEF00112233DEADBEEF", 0);
    }
    // The call log grows with every request: dropped outside the timing.
    void tidy(benchmark::State& state, uint64_t iteration) {
        if (iteration % 256 != 0) return;
        state.PauseTiming();
        decoder.clear();
        driver.clearRequests();
        state.ResumeTiming();
    }
};

void BM_SessionRead32(benchmark::State& state) {
    Setup setup;
    uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(setup.session->read32(kRegister));
        setup.tidy(state, ++i);
    }
}

void BM_ProxyRead32(benchmark::State& state) {
    Setup setup;
    uint64_t i = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        benchmark::DoNotOptimize(setup.proxy->read32(kRegister, status));
        setup.tidy(state, ++i);
    }
}

void BM_SessionIrqPoll(benchmark::State& state) {
    Setup setup;
    setup.device.raiseIrqs(1);
    uint64_t i = 0;
    for (auto _ : state) {
        uint8_t timedOut = 0;
        benchmark::DoNotOptimize(setup.session->waitOnIrqs(1, 0, &timedOut));
        setup.tidy(state, ++i);
    }
}

void BM_ProxyIrqPoll(benchmark::State& state) {
    Setup setup;
    setup.device.raiseIrqs(1);
    uint64_t i = 0;
    for (auto _ : state) {
        uint8_t timedOut = 0;
        nQVAPALS100::tStatus status;
        benchmark::DoNotOptimize(setup.proxy->waitOnIrqs(1, 0, &timedOut, status));
        setup.tidy(state, ++i);
    }
}

BENCHMARK(BM_SessionRead32);
BENCHMARK(BM_ProxyRead32);
BENCHMARK(BM_SessionIrqPoll);
BENCHMARK(BM_ProxyIrqPoll);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {{"session register read / proxy read32", "BM_SessionRead32", "BM_ProxyRead32"},
         {"session interrupt poll / proxy waitOnIrqs", "BM_SessionIrqPoll", "BM_ProxyIrqPoll"}});
}
