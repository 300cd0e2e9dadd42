// The route-control session's cost over calling the library directly, and
// name folding against copying the name.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "../ratioReporter.h"
#include "qverr/Status.h"
#include "qvroco/RoCoSession.h"
#include "qvroco/RouteSetting.h"
#include "rocoapi/qvrocosim.h"

extern "C" uint32_t qvrocoapi_validateTerminalURI(void* session, const char* uri,
                                                  qverr::Status* st);
extern "C" void* qvrocoapi_createSession(qverr::Status* st);

namespace {

const char* const kUri = "/Dev1/ai/0/ConfigurationListStepTrigger";

void BM_LibraryDirect(benchmark::State& state) {
    qvrocosim_setLogging(0);
    qverr::Status created;
    void* session = qvrocoapi_createSession(&created);
    for (auto _ : state) {
        qverr::Status st;
        benchmark::DoNotOptimize(qvrocoapi_validateTerminalURI(session, kUri, &st));
    }
}
BENCHMARK(BM_LibraryDirect);

void BM_ThroughSession(benchmark::State& state) {
    qvrocosim_setLogging(0);
    rocout::RoCoSession session;
    for (auto _ : state) benchmark::DoNotOptimize(session.validateTerminalURI(kUri));
}
BENCHMARK(BM_ThroughSession);

void BM_CopyName(benchmark::State& state) {
    const std::string name = kUri;
    for (auto _ : state) {
        std::string copy(name.size(), '\0');
        std::memcpy(copy.data(), name.data(), name.size());
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_CopyName);

void BM_FoldName(benchmark::State& state) {
    const std::string name = kUri;
    for (auto _ : state) benchmark::DoNotOptimize(rocout::foldTerminalName(name));
}
BENCHMARK(BM_FoldName);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {
                                       {"route-control session call / library called directly",
                                        "BM_ThroughSession", "BM_LibraryDirect"},
                                       {"name folding / name copy", "BM_FoldName", "BM_CopyName"},
                                   });
}
