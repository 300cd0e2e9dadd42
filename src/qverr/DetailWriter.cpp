#include "qverr/DetailWriter.h"

#include <cstring>

#include "qverr/Exception.h"
#include "qverr/json.h"

namespace qverr {

DetailWriter::DetailWriter(Status& status)
    : status_(status), cursor_(status.getJsonInsertPoint(2)) {}

DetailWriter& DetailWriter::beginObject(const char* key) {
    if (cursor_ != nullptr) {
        cursor_ = json::addObjectWithGrow(cursor_, key, {&growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::endObject() {
    cursor_ = json::leaveObject(cursor_);
    return *this;
}

DetailWriter& DetailWriter::add(const char* key, const char* text) {
    if (cursor_ != nullptr) {
        cursor_ = text != nullptr
                      ? json::addStringWithGrow(cursor_, key, text, {&growStatusJson, &status_})
                      : json::addRawWithGrow(cursor_, key, "null", {&growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::add(const char* key, int32_t value) {
    if (cursor_ != nullptr) {
        cursor_ = json::addIntWithGrow(cursor_, key, value, {&growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::add(const char* key, uint32_t value) {
    if (cursor_ != nullptr) {
        cursor_ = json::addUIntWithGrow(cursor_, key, value, {&growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::add(const char* key, uint64_t value) {
    if (cursor_ != nullptr) {
        cursor_ = json::addUInt64WithGrow(cursor_, key, value, {&growStatusJson, &status_});
    }
    return *this;
}

DetailWriter& DetailWriter::errnoRecord(int err) {
    beginObject("internal_error").add("api", "errno").add("code", int32_t{err});
    const std::string text = errnoText(err);
    if (!text.empty()) add("string", text);
    return endObject();
}

DetailWriter& DetailWriter::dlerrorRecord(const char* text) {
    return beginObject("internal_error").add("api", "dlerror").add("string", text).endObject();
}

void throwWithMessage(int32_t code, const SourceLocation& location, const char* key,
                      const char* message) {
    Status status;
    status.setCode(code, location);
    DetailWriter(status).add(key, message);
    throwStatus(std::move(status));
}

std::string errnoText(int err) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling ours.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    if (text == nullptr) return std::string();
    return std::string(text, strnlen(text, 255));
}

}  // namespace qverr
