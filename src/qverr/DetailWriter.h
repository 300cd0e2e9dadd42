// Appends members to a raised status's JSON detail, growing its buffer: the
// component debug objects and the "internal_error" record of a failed
// system or linker call. When the buffer cannot grow, the remaining writes
// are skipped; the status code is never touched.
#pragma once

#include <cstdint>
#include <string>

#include "qverr/Status.h"

namespace qverr {

class DetailWriter {
public:
    // Positioned at the end of the status's root object.
    explicit DetailWriter(Status& status);
    DetailWriter(const DetailWriter&) = delete;
    DetailWriter& operator=(const DetailWriter&) = delete;

    DetailWriter& beginObject(const char* key);
    DetailWriter& endObject();
    // A null text is written as JSON null.
    DetailWriter& add(const char* key, const char* text);
    DetailWriter& add(const char* key, const std::string& text) { return add(key, text.c_str()); }
    DetailWriter& add(const char* key, int32_t value);
    DetailWriter& add(const char* key, uint32_t value);
    DetailWriter& add(const char* key, uint64_t value);
    // "internal_error": {"api":"errno","code":err,"string":<strerror text>}
    DetailWriter& errnoRecord(int err);
    // "internal_error": {"api":"dlerror","string":text}
    DetailWriter& dlerrorRecord(const char* text);

    // False once a write failed (the rest is skipped).
    bool complete() const { return cursor_ != nullptr; }

private:
    Status& status_;
    char* cursor_;
};

// Throws qverr::Exception with `code` raised at `location` and the detail
// "key": "message" after the source-location fields.
[[noreturn]] void throwWithMessage(int32_t code, const SourceLocation& location, const char* key,
                                   const char* message);

// The strerror_r text of err, at most 255 characters.
std::string errnoText(int err);

}  // namespace qverr

// Throws a qverr::Exception with `code` raised at this line and the detail
// "key": "message".
#define QVERR_THROW_WITH_MESSAGE(component, code, constant, key, message) \
    ::qverr::throwWithMessage((code), QVERR_LOCATION(component, constant), (key), (message))
