#include "module/BlockPathBlock.h"

#include <cstring>

namespace qvsim {
namespace {

// The path the request points to; the driver reads it from the caller's
// memory, which in the simulation is this process's.
BlockPathBlock::Path pathOf(const DecodedRequest& request) {
    const auto address = static_cast<uintptr_t>(request.value("blockPath"));
    const auto count = static_cast<uint32_t>(request.value("elementCount"));
    BlockPathBlock::Path path;
    if (address == 0 || count == 0 || count > 16) return path;
    path.resize(count);
    std::memcpy(path.data(), reinterpret_cast<const void*>(address), count * sizeof(uint32_t));
    return path;
}

}  // namespace

BlockPathBlock::BlockPathBlock(GuardedDecoder& decoder) {
    versions = {{{2401}, {4, 2, 0}},       {{2400}, {3, 2, 0}}, {{2401, 1620}, {1, 1, 0}},
                {{2400, 1620}, {1, 1, 0}}, {{2406}, {1, 1, 0}}, {{2401, 700}, {1, 1, 0}},
                {{2400, 700}, {1, 1, 0}}};
    decoder.on("rfplat.getInterfaceVersion", [this](const DecodedRequest& request, Reply& reply) {
        const auto found = versions.find(pathOf(request));
        if (found == versions.end()) {
            reply.status(kBlockAbsent);
            return 0;
        }
        reply.set("current", found->second.current);
        reply.set("oldestCompatible", found->second.oldestCompatible);
        reply.status(found->second.status);
        return 0;
    });
    static constexpr const char* kChecks[] = {"trig",          "resampler", "impairments",
                                              "calindsp",      "caloutdsp", "syntrasync",
                                              "iqDataTrigger", "listmode",  "timer"};
    static constexpr const char* kLookUps[] = {"equalizer", "freqshift", "digitalgain",
                                               "digitaloffset"};
    auto answer = [this](bool lookUp) {
        return [this, lookUp](const DecodedRequest& request, Reply& reply) {
            Path path = pathOf(request);
            {
                std::lock_guard lock(askedMutex);
                asked.push_back(path);
            }
            if (const auto found = refused.find(path); found != refused.end()) {
                reply.status(found->second);
                return 0;
            }
            if (lookUp) {
                const auto instance = instances.find(path);
                reply.set("return", instance == instances.end() ? 0 : instance->second);
            }
            reply.status(0);
            return 0;
        };
    };
    for (const char* name : kChecks)
        decoder.on(std::string(name) + ".checkCompatibility", answer(false));
    for (const char* name : kLookUps)
        decoder.on(std::string(name) + ".checkCompatibility", answer(true));
    decoder.on("caloutdsp.getTraits", [this](const DecodedRequest&, Reply& reply) {
        reply.set("traits", calOutTraits);
        return 0;
    });
}

}  // namespace qvsim
