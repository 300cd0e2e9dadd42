#include "qvxlator/StatusDetail.h"

#include "qverr/DetailWriter.h"

namespace qvxlator {

void raiseWithDebug(qverr::Status& status, int32_t code, const qverr::SourceLocation& location,
                    const char* object, const char* key, const char* text) {
    if (raise(status, code, location)) {
        qverr::DetailWriter(status).beginObject(object).add(key, text).endObject();
    }
}

}  // namespace qvxlator
