// Appends members to the JSON detail of a raised status: the debug objects
// and "internal_error" records of the translators.
#pragma once

#include <cstdint>

#include "qverr/SourceLocation.h"
#include "qverr/Status.h"
#include "qverr/json.h"

namespace qvxlator {

// Writes at the end of the status's root object. When the buffer cannot
// grow, the remaining writes are skipped; the code is never touched.
class Detail {
public:
    explicit Detail(qverr::Status& status);
    Detail(const Detail&) = delete;
    Detail& operator=(const Detail&) = delete;

    Detail& beginObject(const char* key);
    Detail& endObject();
    // A null text is written as JSON null.
    Detail& add(const char* key, const char* text);
    Detail& add(const char* key, int32_t value);
    Detail& add(const char* key, uint32_t value);

private:
    qverr::json::GrowCallback grow_;
    char* cursor_;
};

// Raises `code` at `location`; true when the status took it (the caller adds
// its detail only then).
inline bool raise(qverr::Status& status, int32_t code, const qverr::SourceLocation& location) {
    return status.setCode(code, location);
}

// Raises `code` and, when the status took it, adds {object: {key: text}}.
void raiseWithDebug(qverr::Status& status, int32_t code, const qverr::SourceLocation& location,
                    const char* object, const char* key, const char* text);

// "internal_error": {"api": "errno", "code": error, "string": its text}.
void addErrnoRecord(Detail& detail, int error);

}  // namespace qvxlator
