// How the module's blocks register their behaviour: each runs under the
// module's one mutex, since host threads send requests at once and a
// block's state is plain data. Tests that replace a behaviour (through the
// decoder or SimulatedModule::on) guard their own state.
#pragma once

#include <mutex>
#include <string_view>
#include <utility>

#include "requests/RequestDecoder.h"

namespace qvsim {

class GuardedDecoder {
public:
    GuardedDecoder(RequestDecoder& decoder, std::mutex& mutex) : decoder_(decoder), mutex_(mutex) {}

    // RequestDecoder::on, with `handler` run under the module's mutex; it
    // must not wait for another request.
    void on(std::string_view method, MethodHandler handler) {
        decoder_.on(method, [&mutex = mutex_, handler = std::move(handler)](
                                const DecodedRequest& request, Reply& reply) {
            std::lock_guard lock(mutex);
            return handler(request, reply);
        });
    }

private:
    RequestDecoder& decoder_;
    std::mutex& mutex_;
};

// Answers a request with a value a block holds, read when the request
// arrives (so a test may change it between requests).
template <class T>
void answerWith(GuardedDecoder& decoder, const char* method, const char* field, const T& value) {
    decoder.on(method, [field, &value](const DecodedRequest&, Reply& reply) {
        reply.setAs(field, value);
        return 0;
    });
}

}  // namespace qvsim
