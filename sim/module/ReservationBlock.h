// The kernel driver's reservations: the client's description and id, and
// reservations held by ticket until released.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "module/Replies.h"
#include "qverr/Codes.h"

namespace qvsim {

struct ReservationBlock {
    explicit ReservationBlock(GuardedDecoder& decoder);

    // A release of a ticket that is not held.
    static constexpr int32_t kUnknownTicket = qverr::qvapalerr_resourceNotFound;

    uint32_t clientId = 0x2A;
    std::string description;
    std::set<uint64_t> tickets;
    uint64_t nextTicket = 0x1000;
};

}  // namespace qvsim
