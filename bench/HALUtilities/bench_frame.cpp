// An export call through the frame (argument check, handle conversion, the
// method call inside the return-code ladder) against a direct call of the
// same method: the price of the boundary on the success path. The same
// export called in turn across 100 and 10,000 live handles against one: the
// price of a look-up among many, and the registry's bytes per live handle.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <vector>

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
        qv3377hal::objectFromHandle<Session>(handle, qv3377hal::HandleKind::trigContext,
                                             qv3377hal::kSessionPtrRefusal)
            ->configure(value, echo);
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

// state.range(0) sessions, each handed out as a device session hands out
// its contexts, called in turn.
void BM_ExportThroughFrame(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    std::vector<Session> sessions(count);
    std::vector<uint64_t> handles;
    handles.reserve(count);
    // What the heap grows by while the handles are added is the registry's.
    const double heapBefore = static_cast<double>(mallinfo2().uordblks);
    for (Session& session : sessions) {
        handles.push_back(reinterpret_cast<uint64_t>(&session));
        qv3377hal::addHandle(handles.back(), qv3377hal::HandleKind::trigContext);
    }
    const double registryBytes = static_cast<double>(mallinfo2().uordblks) - heapBefore;
    uint32_t echo = 0;
    uint32_t value = 0;
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(family_configure(handles[next], ++value, &echo));
        benchmark::DoNotOptimize(echo);
        if (++next == count) next = 0;
    }
    state.counters["registry_bytes_per_handle"] = registryBytes / static_cast<double>(count);
    for (const uint64_t handle : handles)
        qv3377hal::dropHandle(handle, qv3377hal::HandleKind::trigContext);
}
BENCHMARK(BM_ExportThroughFrame)->Arg(1)->Arg(100)->Arg(10000);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {
                                       {"export through the frame / direct method call",
                                        "BM_ExportThroughFrame/1", "BM_DirectMethodCall"},
                                       {"export across 100 live handles / one",
                                        "BM_ExportThroughFrame/100", "BM_ExportThroughFrame/1"},
                                       {"export across 10,000 live handles / one",
                                        "BM_ExportThroughFrame/10000", "BM_ExportThroughFrame/1"},
                                   });
}
