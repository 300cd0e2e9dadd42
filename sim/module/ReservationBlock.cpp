#include "module/ReservationBlock.h"

#include <cerrno>

#include "module/Replies.h"

namespace qvsim {

ReservationBlock::ReservationBlock(GuardedDecoder& decoder) {
    decoder.on("reservation.setReservationClientDescription",
               [this](const DecodedRequest& request, Reply&) {
                   const auto* text =
                       reinterpret_cast<const char*>(static_cast<uintptr_t>(request.value("text")));
                   const auto length = static_cast<size_t>(request.value("length"));
                   if (text == nullptr && length != 0) return EFAULT;
                   description.assign(text == nullptr ? "" : text, length);
                   return 0;
               });
    answerWith(decoder, "reservation.getReservationClientID", "id", clientId);
    decoder.on("reservation.reserve", [this](const DecodedRequest&, Reply& reply) {
        tickets.insert(nextTicket);
        reply.set("result", nextTicket++);
        return 0;
    });
    decoder.on("reservation.release", [this](const DecodedRequest& request, Reply& reply) {
        if (tickets.erase(static_cast<uint64_t>(request.value("arg2"))) == 0)
            reply.status(kUnknownTicket);
        return 0;
    });
    decoder.on("reservation.releaseIdleResources", [this](const DecodedRequest&, Reply&) {
        tickets.clear();
        return 0;
    });
}

}  // namespace qvsim
