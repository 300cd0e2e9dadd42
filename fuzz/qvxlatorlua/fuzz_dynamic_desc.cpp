// Error contexts of any content: the translator returns a text or a status
// with its JSON detail, never crashes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qvxlatormgr/Registry.h"

namespace {

char* hostAlloc(void*, size_t size, void*, qverr::Status* status) {
    return status->isError() ? nullptr : static_cast<char*>(std::malloc(size));
}

qvxlator::Translator* translator() {
    static qvxlator::Translator* const instance = [] {
        qverr::Status status;
        qvxlator::Translator* created = qvxlator_exported_create(
            "mxlator_qv3377HAL", qvxlatormgr::kMxlatorRegistrationInfo, &status);
        if (!created) {
            std::abort();
        }
        return created;
    }();
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the language and development-environment hint.
    const uint32_t flags = data[0] % 8 | ((data[0] >> 3) % 4) << 8;
    const std::string context(reinterpret_cast<const char*>(data) + 1, size - 1);
    qverr::Status status;
    qvxlator::Translator* t = translator();
    char* text = t->getDynamicDesc(t, context.c_str(), flags, "json1", hostAlloc, nullptr, &status);
    if ((text == nullptr) == (status.code == 0)) {
        std::abort();
    }
    std::free(text);
    return 0;
}
