// The FPGA sessions against their floors, on the simulated FPGA device with
// the sample bitfile opened through the facade:
// - the low-level session's register read and zero-timeout interrupt poll
//   (reader side of the FPGA lock, accessor, proxy) against the same driver
//   requests sent directly through the proxy;
// - the facade's readU32 (frame, auto-run guard and the above) against the
//   bare read request, and a 1 MiB readArrayU8 (one block request, then
//   unpacking) against a memcpy of 1 MiB and the bare 1 MiB block request.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "apal_qv3377k/tInterfaceProxy_atomiczekddkqrx.h"
#include "atomiczekddk/shared/CommonUtilities.h"
#include "atomiczekddk/user/IoAccessorIoctl.h"
#include "atomiczekddk/user/facade/FpgaSession.h"
#include "atomiczekddk/user/facade/FpgaSessionTraditional.h"
#include "atomiczekddk/user/facade/ISessionFactory.h"
#include "atomiczekddk/user/session/Session.h"
#include "fpgadevice/FpgaDevice.h"

namespace {

constexpr uint32_t kRegister = 0x8020;
constexpr size_t kArrayBytes = 1 << 20;

class Accept : public qvzek::ITargetClassChecker {
public:
    bool isCompatible(std::string_view) override { return true; }
};
class Configurer : public qvzek::IPersonalityConfigurer {
public:
    void configure(bool* result) override { *result = false; }
};

struct Setup : qvzek::ISessionFactory {
    qvsim::Driver driver;
    qvsim::RequestDecoder decoder{driver};
    qvsim::FpgaDevice device{driver, decoder};
    std::shared_ptr<sdihal::tInterfaceProxy_atomiczekddkqrx> proxy =
        std::make_shared<sdihal::tInterfaceProxy_atomiczekddkqrx>();
    std::shared_ptr<qvzek::user::Fpga> fpga;
    Accept checker;
    Configurer configurer;
    qvzek::FpgaSession* facade = nullptr;
    // The low-level session the facade opened (owned by the facade).
    qvzek::user::Session* session = nullptr;

    Setup() {
        nQVAPALS100::tStatus status;
        proxy->open(device.path().c_str(), status);
        fpga = std::make_shared<qvzek::user::Fpga>(
            proxy,
            std::make_shared<qvzek::FifoFactory>(
                std::shared_ptr<sdihal::iInterfaceProxy_atomiczekddk_fifo>(proxy, proxy.get())));
        qvzek::Bitfile bitfile(std::string(QV_BITFILE_CORPUS) + "/sample.xml", true, false, false);
        device.setControlAddress(bitfile.getBaseAddressOnDevice() + bitfile.getViControlOffset());
        facade = new qvzek::FpgaSession(nullptr, this);
        // Without the host-memory blocks, which the simulated device does not map.
        std::unique_ptr<char[]> contents;
        std::string text = qvzek::readWholeFile(
            true, (std::string(QV_BITFILE_CORPUS) + "/sample.xml").c_str(), contents, -63101);
        const size_t from = text.find("<HMB>");
        text.erase(from, text.find("</LLB>") + 6 - from);
        facade->open(text.c_str(), "0123456789ABCDEF00112233DEADBEEF", qvzek::kOpenBitfileIsText,
                     status);
        if (status.code != 0) {
            std::fprintf(stderr, "open failed: %lld\n", static_cast<long long>(status.code));
            std::abort();
        }
    }
    ~Setup() override { facade->release(); }

    std::unique_ptr<qvzek::user::Session> createSession(
        const std::shared_ptr<const qvzek::DeviceInfo>&, const char* text, const char* signature,
        uint32_t attribute) override {
        auto made = std::make_unique<qvzek::user::Session>(
            fpga, proxy, configurer, checker,
            std::make_shared<qvzek::user::IoAccessorIoctl>(*proxy),
            std::make_shared<const qvzek::Bitfile>(text, false, true, false), signature, attribute);
        session = made.get();
        return made;
    }
    std::unique_ptr<qvzek::FpgaSessionTraditional> createTraditionalSession(
        const std::shared_ptr<const qvzek::DeviceInfo>&) override {
        return nullptr;
    }

    // The call log grows with every request: dropped outside the timing.
    void tidy(benchmark::State& state, uint64_t iteration, uint64_t every) {
        if (iteration % every != 0) return;
        state.PauseTiming();
        decoder.clear();
        driver.clearRequests();
        state.ResumeTiming();
    }
};

void BM_FacadeReadU32(benchmark::State& state) {
    Setup setup;
    uint64_t i = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        benchmark::DoNotOptimize(setup.facade->readU32(kRegister, false, status));
        setup.tidy(state, ++i, 256);
    }
}

void BM_ProxyRead32(benchmark::State& state) {
    Setup setup;
    uint64_t i = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        benchmark::DoNotOptimize(setup.proxy->read32(kRegister, status));
        setup.tidy(state, ++i, 256);
    }
}

void BM_SessionRead32(benchmark::State& state) {
    Setup setup;
    uint64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(setup.session->read32(kRegister));
        setup.tidy(state, ++i, 256);
    }
}

void BM_SessionIrqPoll(benchmark::State& state) {
    Setup setup;
    setup.device.raiseIrqs(1);
    uint64_t i = 0;
    for (auto _ : state) {
        uint8_t timedOut = 0;
        benchmark::DoNotOptimize(setup.session->waitOnIrqs(1, 0, &timedOut));
        setup.tidy(state, ++i, 256);
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
        setup.tidy(state, ++i, 256);
    }
}
void BM_FacadeReadArrayU8(benchmark::State& state) {
    Setup setup;
    std::vector<uint8_t> data(kArrayBytes);
    uint64_t i = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        setup.facade->readArrayU8(0x10000, data.data(), data.size(), false, status);
        benchmark::DoNotOptimize(data.data());
        setup.tidy(state, ++i, 16);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArrayBytes));
}

void BM_ProxyBlockRead1MiB(benchmark::State& state) {
    Setup setup;
    std::vector<uint8_t> data(kArrayBytes);
    uint64_t i = 0;
    for (auto _ : state) {
        nQVAPALS100::tStatus status;
        setup.proxy->blockRead(0x10000, reinterpret_cast<uintptr_t>(data.data()), kArrayBytes, 4, 0,
                               status);
        benchmark::DoNotOptimize(data.data());
        setup.tidy(state, ++i, 16);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArrayBytes));
}

void BM_Memcpy1MiB(benchmark::State& state) {
    std::vector<uint8_t> from(kArrayBytes, 0x5A);
    std::vector<uint8_t> to(kArrayBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kArrayBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kArrayBytes));
}

BENCHMARK(BM_SessionRead32);
BENCHMARK(BM_FacadeReadU32);
BENCHMARK(BM_ProxyRead32);
BENCHMARK(BM_SessionIrqPoll);
BENCHMARK(BM_ProxyIrqPoll);
BENCHMARK(BM_FacadeReadArrayU8);
BENCHMARK(BM_ProxyBlockRead1MiB);
BENCHMARK(BM_Memcpy1MiB);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(
        argc, argv,
        {{"session register read / proxy read32", "BM_SessionRead32", "BM_ProxyRead32"},
         {"session interrupt poll / proxy waitOnIrqs", "BM_SessionIrqPoll", "BM_ProxyIrqPoll"},
         {"facade readU32 / proxy read32", "BM_FacadeReadU32", "BM_ProxyRead32"},
         {"facade readArrayU8 1 MiB / memcpy 1 MiB", "BM_FacadeReadArrayU8", "BM_Memcpy1MiB"},
         {"facade readArrayU8 1 MiB / proxy blockRead 1 MiB", "BM_FacadeReadArrayU8",
          "BM_ProxyBlockRead1MiB"}});
}
