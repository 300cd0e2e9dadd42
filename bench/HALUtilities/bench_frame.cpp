// An export call through the frame (argument check, handle conversion, the
// method call inside the return-code ladder) against a direct call of the
// same method: the price of the boundary on the success path. The same
// export called across 100 and 10,000 live handles in shuffled order against
// one, and the look-up alone likewise: the price of a look-up among many,
// and the registry's bytes per live handle. A second thread runs throughout.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "../ratioReporter.h"
#include "../secondThread.h"
#include "HALUtilities/ErrorHandling.h"
#include "support/ProcessPages.h"

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

// Bytes the process holds: heap blocks in use, and pages in memory outside
// the heap (the registry's tables are static storage, which costs only the
// pages written).
struct Footprint {
    Footprint() {
        const struct mallinfo2 heap = mallinfo2();
        inUse = static_cast<double>(heap.uordblks + heap.hblkhd);
        heapMapped = static_cast<double>(heap.arena + heap.hblkhd);
        resident = static_cast<double>(qvtest::processPages().resident) *
                   static_cast<double>(sysconf(_SC_PAGESIZE));
    }
    // What the process took on since `before`.
    double since(const Footprint& before) const {
        const double outside = (resident - before.resident) - (heapMapped - before.heapMapped);
        return (inUse - before.inUse) + (outside > 0 ? outside : 0);
    }

    double inUse;
    double heapMapped;
    double resident;
};

// state.range(0) sessions, each handed out as a device session hands out
// its contexts, live while the benchmark runs; their handles in an order
// that no cache line follows.
class LiveSessions {
public:
    explicit LiveSessions(size_t count) : sessions_(count) {
        handles.reserve(count);
        const Footprint before;
        for (Session& session : sessions_) {
            handles.push_back(reinterpret_cast<uint64_t>(&session));
            qv3377hal::addHandle(handles.back(), qv3377hal::HandleKind::trigContext);
        }
        registryBytes = Footprint().since(before);
        std::shuffle(handles.begin(), handles.end(), std::mt19937_64(7));
    }
    ~LiveSessions() {
        for (const uint64_t handle : handles)
            qv3377hal::dropHandle(handle, qv3377hal::HandleKind::trigContext);
    }

    std::vector<uint64_t> handles;
    double registryBytes = 0;

private:
    std::vector<Session> sessions_;
};

void BM_ExportThroughFrame(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    const LiveSessions live(count);
    uint32_t echo = 0;
    uint32_t value = 0;
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(family_configure(live.handles[next], ++value, &echo));
        benchmark::DoNotOptimize(echo);
        if (++next == count) next = 0;
    }
    // A run may find the pages of its table still in memory from the run
    // before: the largest growth of a count is its cost.
    static std::map<size_t, double> grown;
    grown[count] = std::max(grown[count], live.registryBytes);
    state.counters["registry_bytes_per_handle"] = grown[count] / static_cast<double>(count);
}
BENCHMARK(BM_ExportThroughFrame)->Arg(1)->Arg(100)->Arg(10000);

void BM_LookUp(benchmark::State& state) {
    const size_t count = static_cast<size_t>(state.range(0));
    const LiveSessions live(count);
    size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            qv3377hal::isLiveHandle(live.handles[next], qv3377hal::HandleKind::trigContext));
        if (++next == count) next = 0;
    }
}
BENCHMARK(BM_LookUp)->Arg(1)->Arg(10000);

}  // namespace

int main(int argc, char** argv) {
    const SecondThread second;
    return runBenchmarksWithRatios(
        argc, argv,
        {
            {"export through the frame / direct method call", "BM_ExportThroughFrame/1",
             "BM_DirectMethodCall"},
            {"export across 100 live handles / one", "BM_ExportThroughFrame/100",
             "BM_ExportThroughFrame/1"},
            {"export across 10,000 live handles / one", "BM_ExportThroughFrame/10000",
             "BM_ExportThroughFrame/1"},
            {"look-up across 10,000 live handles / one", "BM_LookUp/10000", "BM_LookUp/1"},
        });
}
