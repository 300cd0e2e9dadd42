#include "module/RoutingBlock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qvsim {

namespace {

template <class T>
T* callerArray(const DecodedRequest& request, const char* field) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(request.value(field)));
}

// The layouts the routing requests use in the caller's memory.
struct Seed {
    uint32_t terminalId;
    uint32_t cost;
    uint8_t inversionNeeded;
    uint8_t padding[3];
};
struct Entry {
    uint32_t ticket;
    uint32_t destination;
    uint32_t cost;
    uint32_t indexOfStartingSeed;
    uint8_t inversionNeeded;
    uint8_t padding[3];
};
struct Conflict {
    uint64_t sessionId;
    uint32_t ticket;
    uint32_t padding;
};

}  // namespace

RoutingBlock::RoutingBlock(GuardedDecoder& decoder, Driver& driver) : driver_(driver) {
    decoder.on("routing.getTopographyName", [this](const DecodedRequest& request, Reply&) {
        auto* buffer = callerArray<char>(request, "buffer");
        const auto size = static_cast<size_t>(request.value("bufferSize"));
        if (buffer == nullptr || size == 0) return EFAULT;
        const size_t length = std::min(topographyName.size(), size - 1);
        std::memcpy(buffer, topographyName.data(), length);
        buffer[length] = 0;
        return 0;
    });
    decoder.on("routing.calculateRoute", [this](const DecodedRequest& request, Reply& reply) {
        const auto* seeds = callerArray<const Seed>(request, "seeds");
        const auto* destinations = callerArray<const uint32_t>(request, "destinations");
        auto* entries = callerArray<Entry>(request, "entries");
        const auto seedCount = static_cast<uint32_t>(request.value("seedCount"));
        const auto destinationCount = static_cast<uint32_t>(request.value("destinationCount"));
        const auto capacity = static_cast<uint32_t>(request.value("entryCount"));
        if (seeds == nullptr || destinations == nullptr || seedCount == 0) return EFAULT;
        const uint32_t ticket = nextTicket++;
        Route& route = routes[ticket];
        uint32_t count = 0;
        for (uint32_t d = 0; d < destinationCount; ++d) {
            for (uint32_t leg = 0; leg < legsPerDestination; ++leg, ++count) {
                if (count >= capacity || entries == nullptr) continue;
                const uint32_t seed = leg % seedCount;
                entries[count] = Entry{ticket,
                                       destinations[d],
                                       seeds[seed].cost + 1 + leg,
                                       seed,
                                       seeds[seed].inversionNeeded,
                                       {}};
            }
        }
        for (uint32_t s = 0; s < seedCount; ++s) route.path.push_back(seeds[s].terminalId);
        route.path.insert(route.path.end(), destinations, destinations + destinationCount);
        for (uint32_t k = 0; k < pathPadding; ++k) route.path.push_back(224 + k);
        reply.set("return", ticket);
        reply.set("entryCount", count);
        return 0;
    });
    auto withRoute = [this](GuardedDecoder& decoder, const char* method, auto change) {
        decoder.on(method, [this, change](const DecodedRequest& request, Reply& reply) {
            const auto found = routes.find(static_cast<uint32_t>(request.value("ticket")));
            if (found == routes.end()) {
                reply.status(kUnknownTicket);
            } else {
                change(found);
            }
            return 0;
        });
    };
    withRoute(decoder, "routing.destroyRoute", [this](auto route) { routes.erase(route); });
    withRoute(decoder, "routing.programRoute", [](auto route) { route->second.programmed = true; });
    withRoute(decoder, "routing.unprogramRoute",
              [](auto route) { route->second.programmed = false; });
    withRoute(decoder, "routing.unreserveRoute",
              [](auto route) { route->second.reserved = false; });
    decoder.on("routing.reserveRoute", [this](const DecodedRequest& request, Reply& reply) {
        const auto found = routes.find(static_cast<uint32_t>(request.value("ticket")));
        if (found == routes.end()) {
            reply.status(kUnknownTicket);
            return 0;
        }
        if (conflicts.empty()) {
            found->second.reserved = true;
            reply.set("conflictCount", 0);
            return 0;
        }
        auto* records = callerArray<Conflict>(request, "conflicts");
        const auto capacity = static_cast<uint32_t>(request.value("conflictCount"));
        for (uint32_t i = 0; i < conflicts.size() && i < capacity && records != nullptr; ++i) {
            records[i] = Conflict{conflicts[i].first, conflicts[i].second, 0};
        }
        reply.set("conflictCount", conflicts.size());
        reply.status(kReservationConflict);
        return 0;
    });
    decoder.on("routing.getRouteTerminalPath", [this](const DecodedRequest& request, Reply& reply) {
        const auto found = routes.find(static_cast<uint32_t>(request.value("ticket")));
        if (found == routes.end()) {
            reply.status(kUnknownTicket);
            return 0;
        }
        const std::vector<uint32_t>& path = found->second.path;
        auto* ids = callerArray<uint32_t>(request, "ids");
        const auto capacity = static_cast<uint32_t>(request.value("idCount"));
        for (uint32_t i = 0; i < path.size() && i < capacity && ids != nullptr; ++i)
            ids[i] = path[i];
        reply.set("idCount", path.size());
        if (path.size() > capacity) reply.status(kBufferTooSmall);
        return 0;
    });
    decoder.on("routing.resetTerminal", [this](const DecodedRequest& request, Reply&) {
        resets.emplace_back(static_cast<uint32_t>(request.value("terminalId")),
                            static_cast<uint32_t>(request.value("floating")));
        return 0;
    });
    // A floating terminal resets through "FLOAT" (id 1); otherwise to itself.
    decoder.on("routing.calculateResetTerminal", [](const DecodedRequest& request, Reply& reply) {
        reply.set("return", request.value("floating") != 0 ? 1 : request.value("terminalId"));
        return 0;
    });
}

bool RoutingBlock::demote(uint32_t ticket) {
    // Datagram kind 1 is the notification the reader reports as kind 0.
    return driver_.deliver(kDemotionId, 1, &ticket, sizeof ticket);
}

}  // namespace qvsim
