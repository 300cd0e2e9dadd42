#include "qvxlator/Translator.h"

#include <cstring>

#include "qvxlator/StatusDetail.h"

namespace qvxlator {

char* copyToHost(const char* text, size_t length, AllocFn allocFn, void* allocContext,
                 qverr::Status* status) {
    if (!allocFn) {
        raiseWithDebug(*status, qverr::qvapalerr_invalidParameter,
                       QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"), "qvxlator_debug",
                       "debug", "no allocFn");
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
        raiseWithDebug(*status, qverr::qvapalerr_memoryFull,
                       QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"), "qvxlator_debug",
                       "debug", "allocFn returned no block");
        return nullptr;
    }
    if (length) {
        std::memcpy(block, text, length);
    }
    block[length] = '\0';
    return block;
}

}  // namespace qvxlator
