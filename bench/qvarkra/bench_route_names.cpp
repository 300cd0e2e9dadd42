// Name resolution of a route request (1 seed, 32 destinations): the folded
// name index against walking the whole topography for every name with a
// caseless compare, which must resolve every name to the same id.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../ratioReporter.h"
#include "qvarkra/RouteJson.h"
#include "qvarkra/Topography.h"
#include "qvhtl/utf8/utf8.h"

namespace {

using qvark::kTopQrxReferenceFpga;

// Names spread over the table, written in another case as hosts may.
std::vector<std::string> requestNames() {
    std::vector<std::string> names;
    for (uint64_t i = 0; names.size() < 33; i += 11) {
        std::string name = kTopQrxReferenceFpga.terminals[i % 370].name;
        for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        names.push_back(name);
    }
    return names;
}

uint32_t linearScan(const std::string& name) {
    for (uint64_t i = 0; i < kTopQrxReferenceFpga.terminalCount; ++i) {
        const qvark::TerminalInfo& terminal = kTopQrxReferenceFpga.terminals[i];
        if (qvzek::compareCaseFolded(terminal.name, name) == 0) return terminal.id;
    }
    return 0;
}

std::vector<uint32_t> resolveByIndex(const std::vector<std::string>& names) {
    const qvark::TerminalIndex& index = qvark::terminalIndex(kTopQrxReferenceFpga);
    std::vector<uint32_t> ids;
    ids.reserve(names.size());
    for (const std::string& name : names) ids.push_back(index.idOfName(name));
    return ids;
}

std::vector<uint32_t> resolveByScan(const std::vector<std::string>& names) {
    std::vector<uint32_t> ids;
    ids.reserve(names.size());
    for (const std::string& name : names) ids.push_back(linearScan(name));
    return ids;
}

// The route result both resolutions lead to.
std::string resultText(const std::vector<uint32_t>& ids) {
    std::vector<qvark::RoutePathEntry> entries;
    for (size_t i = 1; i < ids.size(); ++i) entries.push_back({1, ids[i], 2, 0, 0, {}});
    return qvark::formatRouteResult(entries, qvark::terminalIndex(kTopQrxReferenceFpga)).text();
}

void BM_ResolveByIndex(benchmark::State& state) {
    const auto names = requestNames();
    for (auto _ : state) benchmark::DoNotOptimize(resolveByIndex(names));
}
BENCHMARK(BM_ResolveByIndex);

void BM_ResolveByLinearScan(benchmark::State& state) {
    const auto names = requestNames();
    for (auto _ : state) benchmark::DoNotOptimize(resolveByScan(names));
}
BENCHMARK(BM_ResolveByLinearScan);

}  // namespace

int main(int argc, char** argv) {
    const auto names = requestNames();
    const auto byIndex = resolveByIndex(names);
    if (byIndex != resolveByScan(names) ||
        resultText(byIndex) != resultText(resolveByScan(names)) ||
        std::count(byIndex.begin(), byIndex.end(), 0u) != 0) {
        std::fprintf(stderr, "the index and the scan resolve differently\n");
        return 1;
    }
    return runBenchmarksWithRatios(
        argc, argv,
        {{"name resolution: index / linear scan", "BM_ResolveByIndex", "BM_ResolveByLinearScan"}});
}
