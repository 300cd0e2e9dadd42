// The module's routing: the topography the driver names, routes calculated
// between terminal ids with their costs, tickets, reservations that other
// sessions hold, terminal resets, and demotion notices sent to the session
// that registered for them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "apal_qv3377k/DriverCodes.h"
#include "kerneldriver/Driver.h"
#include "module/Replies.h"
#include "qverr/Codes.h"

namespace qvsim {

struct RoutingBlock {
    RoutingBlock(GuardedDecoder& decoder, Driver& driver);

    static constexpr int32_t kUnknownTicket = qverr::qvapalerr_resourceNotFound;
    static constexpr int32_t kReservationConflict = sdihal::kDriverErrorReservationConflict;
    static constexpr int32_t kBufferTooSmall = qverr::qvapalerr_bufferTooSmall;
    static constexpr uint32_t kDemotionId = 0x80000000;

    struct Route {
        std::vector<uint32_t> path;
        bool reserved = false;
        bool programmed = false;
    };

    std::string topographyName = "topQrxReferenceFpga";
    // Route legs reported per destination (a leg from each of that many
    // seeds, cost growing by one per leg).
    uint32_t legsPerDestination = 1;
    // Terminal ids appended to every new route's path after its seeds and
    // destinations (ids of "GpioInputToAppDest0" on).
    uint32_t pathPadding = 0;
    // {sessionId, ticket} of reservations that block every reserveRoute.
    std::vector<std::pair<uint64_t, uint32_t>> conflicts;
    std::map<uint32_t, Route> routes;
    uint32_t nextTicket = 1;
    // {terminal id, floating} of every reset asked for.
    std::vector<std::pair<uint32_t, uint32_t>> resets;

    // Sends the demotion of `ticket` to the registered session; false when
    // none is registered.
    bool demote(uint32_t ticket);

private:
    Driver& driver_;
};

}  // namespace qvsim
