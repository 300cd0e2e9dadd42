#include "qvxlator/DefaultTranslator.h"

#include <string>

#include "qverr/DetailWriter.h"
#include "qvxlator/PathVariables.h"
#include "qvxlator/StatusDetail.h"
#include "qvxlator/kxErrorsParser.h"

namespace qvxlator {

namespace {

void destroyDefault(Translator*) {}

char* getStaticDescDefault(Translator*, int32_t code, uint32_t flags, AllocFn allocFn,
                           void* allocContext, qverr::Status* status) {
    if (!status || status->isError()) {
        return nullptr;
    }
    try {
        const std::string directory = standardErrorsDirectory(*status);
        if (status->isError()) {
            return nullptr;
        }
        uint32_t lang = languageOf(flags);
        const uint32_t ade = adeOf(flags);
        std::string text;
        // The asked language first, then English; a missing language
        // directory also falls back to English.
        for (;;) {
            qverr::Status local;
            kxErrorsParser::searchErrorsDirectory(directory.c_str(), static_cast<uint32_t>(code),
                                                  lang, text, local);
            if (local.isError()) {
                if (lang == 0) {
                    status->merge(local);
                    return nullptr;
                }
                lang = 0;
                continue;
            }
            if (text.empty() && lang != 0) {
                lang = 0;
                continue;
            }
            break;
        }
        if (text.empty()) {
            if (raise(*status, qverr::qvapalerr_resourceNotFound,
                      QVERR_LOCATION("qv3377hal", "qvapalerr_resourceNotFound"))) {
                qverr::DetailWriter(*status)
                    .beginObject("qvxlator_debug")
                    .add("qvxlator_defaultTranslator", "couldn't find description for code")
                    .add("code", code)
                    .add("lang", uint32_t{0})
                    .add("ade", ade)
                    .endObject();
            }
            return nullptr;
        }
        return copyToHost(text.data(), text.size(), allocFn, allocContext, status);
    } catch (const std::bad_alloc&) {
        status->setCode(qverr::qvapalerr_memoryFull,
                        QVERR_LOCATION("qv3377hal", "qvapalerr_memoryFull"));
    }
    return nullptr;
}

Translator gDefaultTranslator{kPublicSize, &destroyDefault, &getStaticDescDefault, nullptr};

}  // namespace

Translator* createDefaultTranslator(const char*, const char*, qverr::Status* status) {
    if (!status || status->isError()) {
        return nullptr;
    }
    return &gDefaultTranslator;
}

}  // namespace qvxlator
