// A route request as a routing host sends it: three texts (seeds,
// destinations, modifiers) of arbitrary bytes, split at zero bytes. Each
// parses or fails with -52005 and a detail that is itself JSON; what parses
// formats into JSON.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qvarkra/RouteJson.h"
#include "qverr/Exception.h"
#include "qverr/json.h"

namespace {

void checkJson(const char* text) {
    qverr::json::Token token;
    if (qverr::json::parseValue(text, token) == nullptr) std::abort();
}

template <class Parse>
void expectParseOrError(Parse&& parse) {
    try {
        parse();
    } catch (const qverr::Exception& e) {
        if (e.status.code != -52005) std::abort();
        checkJson(e.status.jsonText());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    size_t start = 0;
    for (std::string& part : parts) {
        const size_t end = std::min(input.find('\0', start), input.size());
        if (start < input.size()) part = input.substr(start, end - start);
        start = end + 1;
    }
    const qvark::TerminalIndex& terminals = qvark::terminalIndex(qvark::kTopQrxReferenceFpga);
    expectParseOrError([&] {
        const auto seeds = qvark::parseSeeds(parts[0].c_str(), terminals);
        std::vector<qvark::RoutePathEntry> entries;
        for (size_t i = 0; i < seeds.size(); ++i)
            entries.push_back({1,
                               seeds[i].terminalId,
                               seeds[i].cost,
                               static_cast<uint32_t>(i),
                               seeds[i].inversionNeeded,
                               {}});
        checkJson(qvark::formatRouteResult(entries, terminals).text());
    });
    expectParseOrError([&] {
        const auto ids = qvark::parseDestinations(parts[1].c_str(), terminals);
        checkJson(qvark::formatTerminalPath(ids, terminals).text());
    });
    expectParseOrError([&] { qvark::parseModifiers(parts[2].c_str()); });
    return 0;
}
