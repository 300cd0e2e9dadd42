#include "qvafa/internal/StatusDetail.h"

#include <cstring>

#include "qverr/json.h"

namespace qvafa::detail {

DetailWriter::DetailWriter(qverr::Status& status)
    : status_(status), cursor_(status.getJsonInsertPoint(2)) {}

DetailWriter& DetailWriter::beginObject(const char* key) {
    if (cursor_ != nullptr) {
        cursor_ = qverr::json::addObjectWithGrow(cursor_, key, {&qverr::growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::endObject() {
    cursor_ = qverr::json::leaveObject(cursor_);
    return *this;
}

DetailWriter& DetailWriter::add(const char* key, const char* text) {
    if (cursor_ != nullptr) {
        cursor_ = qverr::json::addStringWithGrow(cursor_, key, text != nullptr ? text : "",
                                                 {&qverr::growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::addInt(const char* key, int32_t value) {
    if (cursor_ != nullptr) {
        cursor_ =
            qverr::json::addIntWithGrow(cursor_, key, value, {&qverr::growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::addUInt(const char* key, uint32_t value) {
    if (cursor_ != nullptr) {
        cursor_ =
            qverr::json::addUIntWithGrow(cursor_, key, value, {&qverr::growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::addUInt64(const char* key, uint64_t value) {
    if (cursor_ != nullptr) {
        cursor_ =
            qverr::json::addUInt64WithGrow(cursor_, key, value, {&qverr::growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::errnoRecord(int err) {
    beginObject("internal_error").add("api", "errno").addInt("code", err);
    const std::string text = errnoText(err);
    if (!text.empty()) add("string", text);
    return endObject();
}

DetailWriter& DetailWriter::dlerrorRecord(const char* text) {
    return beginObject("internal_error").add("api", "dlerror").add("string", text).endObject();
}

std::string errnoText(int err) {
    char buffer[256] = {};
    const char* text = strerror_r(err, buffer, sizeof buffer);
    if (text == nullptr) return std::string();
    return std::string(text, strnlen(text, 255));
}

}  // namespace qvafa::detail
