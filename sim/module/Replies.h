// Behaviours that answer a request with a value a block holds, read when the
// request arrives (so a test may change it at any time).
#pragma once

#include "requests/RequestDecoder.h"

namespace qvsim {

template <class T>
void answerWith(RequestDecoder& decoder, const char* method, const char* field, const T& value) {
    decoder.on(method, [field, &value](const DecodedRequest&, Reply& reply) {
        reply.setAs(field, value);
        return 0;
    });
}

}  // namespace qvsim
