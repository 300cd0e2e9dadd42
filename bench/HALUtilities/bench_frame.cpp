// An export call through the frame (argument check, handle conversion, the
// method call inside the return-code ladder) against a direct call of the
// same method: the price of the boundary on the success path.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "../ratioReporter.h"
#include "HALUtilities/ErrorHandling.h"

namespace {

struct Session {
    uint64_t total = 0;
    __attribute__((noinline)) void configure(uint32_t value, uint32_t* echo) {
        total += value;
        *echo = value;
    }
};

// Written as every return-code export of a family is.
__attribute__((noinline)) int32_t family_configure(uint64_t handle, uint32_t value,
                                                   uint32_t* echo) {
    return qv3377hal::returnCodeCall([&] {
        qv3377hal::checkNotNull(echo);
        qv3377hal::familySessionPtr<Session>(handle)->configure(value, echo);
    });
}

void BM_DirectMethodCall(benchmark::State& state) {
    Session session;
    Session* volatile target = &session;
    uint32_t echo = 0;
    uint32_t value = 0;
    for (auto _ : state) {
        target->configure(++value, &echo);
        benchmark::DoNotOptimize(echo);
    }
}
BENCHMARK(BM_DirectMethodCall);

void BM_ExportThroughFrame(benchmark::State& state) {
    Session session;
    const uint64_t handle = reinterpret_cast<uint64_t>(&session);
    // Handed out as a device session hands out its contexts.
    qv3377hal::addHandle(handle, qv3377hal::HandleKind::deviceContext);
    uint32_t echo = 0;
    uint32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(family_configure(handle, ++value, &echo));
        benchmark::DoNotOptimize(echo);
    }
    qv3377hal::dropHandle(handle, qv3377hal::HandleKind::deviceContext);
}
BENCHMARK(BM_ExportThroughFrame);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {
                                       {"export through the frame / direct method call",
                                        "BM_ExportThroughFrame", "BM_DirectMethodCall"},
                                   });
}
