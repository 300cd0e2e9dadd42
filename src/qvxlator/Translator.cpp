#include "qvxlator/Translator.h"

#include <cstring>

#include "qvxlator/StatusDetail.h"

namespace qvxlator {

char* copyToHost(const char* text, size_t length, AllocFn allocFn, void* allocContext,
                 qverr::Status* status) {
    if (!allocFn) {
        if (raise(*status, qverr::qvapalerr_invalidParameter,
                  QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"))) {
            Detail(*status).beginObject("qvxlator_debug").add("debug", "no allocFn").endObject();
        }
        return nullptr;
    }
    char* block = allocFn(nullptr, length + 1, allocContext, status);
    if (status->isError()) {
        if (block) {
            block[0] = '\0';
        }
        return block;
    }
    if (!block) {
        if (raise(*status, qverr::qvapalerr_memoryFull,
                  QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"))) {
            Detail(*status)
                .beginObject("qvxlator_debug")
                .add("debug", "allocFn returned no block")
                .endObject();
        }
        return nullptr;
    }
    if (length) {
        std::memcpy(block, text, length);
    }
    block[length] = '\0';
    return block;
}

}  // namespace qvxlator
