// Appends members to a raised status's JSON detail, growing its buffer:
// the "internal_error" record of a failed system or linker call and the
// component debug objects beside it.
#pragma once

#include <cstdint>
#include <string>

#include "qverr/Status.h"

namespace qvafa::detail {

class DetailWriter {
public:
    // Positioned at the end of the status's root object.
    explicit DetailWriter(qverr::Status& status);

    DetailWriter& beginObject(const char* key);
    DetailWriter& endObject();
    DetailWriter& add(const char* key, const char* text);
    DetailWriter& add(const char* key, const std::string& text) { return add(key, text.c_str()); }
    DetailWriter& addInt(const char* key, int32_t value);
    DetailWriter& addUInt(const char* key, uint32_t value);
    DetailWriter& addUInt64(const char* key, uint64_t value);
    // "internal_error": {"api":"errno","code":err,"string":<strerror text>}
    DetailWriter& errnoRecord(int err);
    // "internal_error": {"api":"dlerror","string":text}
    DetailWriter& dlerrorRecord(const char* text);

    // False once a write failed (the rest is skipped).
    bool complete() const { return cursor_ != nullptr; }

private:
    qverr::Status& status_;
    char* cursor_;
};

// The strerror_r text of err, at most 255 characters.
std::string errnoText(int err);

}  // namespace qvafa::detail
