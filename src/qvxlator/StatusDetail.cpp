#include "qvxlator/StatusDetail.h"

#include <cstring>

namespace qvxlator {

Detail::Detail(qverr::Status& status)
    : grow_{&qverr::growStatusJson, &status}, cursor_(status.getJsonInsertPoint(2)) {}

Detail& Detail::beginObject(const char* key) {
    if (cursor_) {
        cursor_ = qverr::json::addObjectWithGrow(cursor_, key, grow_);
    }
    return *this;
}

Detail& Detail::endObject() {
    if (cursor_) {
        cursor_ = qverr::json::leaveObject(cursor_);
    }
    return *this;
}

Detail& Detail::add(const char* key, const char* text) {
    if (cursor_) {
        cursor_ = text ? qverr::json::addStringWithGrow(cursor_, key, text, grow_)
                       : qverr::json::addRawWithGrow(cursor_, key, "null", grow_);
    }
    return *this;
}

Detail& Detail::add(const char* key, int32_t value) {
    if (cursor_) {
        cursor_ = qverr::json::addIntWithGrow(cursor_, key, value, grow_);
    }
    return *this;
}

Detail& Detail::add(const char* key, uint32_t value) {
    if (cursor_) {
        cursor_ = qverr::json::addUIntWithGrow(cursor_, key, value, grow_);
    }
    return *this;
}

void raiseWithDebug(qverr::Status& status, int32_t code, const qverr::SourceLocation& location,
                    const char* object, const char* key, const char* text) {
    if (raise(status, code, location)) {
        Detail(status).beginObject(object).add(key, text).endObject();
    }
}

void addErrnoRecord(Detail& detail, int error) {
    char text[256];
    // The GNU strerror_r may return a static text instead of filling ours.
    const char* message = strerror_r(error, text, sizeof text);
    detail.beginObject("internal_error")
        .add("api", "errno")
        .add("code", static_cast<int32_t>(error))
        .add("string", message ? message : "")
        .endObject();
}

}  // namespace qvxlator
