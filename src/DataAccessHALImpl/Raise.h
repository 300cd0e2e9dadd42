// Raises of the data-access component: a code with its source location and,
// for the translator range, the translator header and records.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "qverr/SourceLocation.h"

namespace dataaccesshal {

struct Record {
    enum Kind { elaboration, empty, requestedValue } kind;
    const char* text = nullptr;
    uint32_t value = 0;
};

inline Record elaboration(const char* text) {
    return {Record::elaboration, text, 0};
}
inline Record emptyRecord() {
    return {Record::empty, nullptr, 0};
}
inline Record requestedValue(uint32_t value) {
    return {Record::requestedValue, nullptr, value};
}

// The code with the detail "key": "text" naming the refusal, then the
// translator header and the records in order. Without a key: the code, its
// location and the translator header, no records.
[[noreturn]] void raise(int32_t code, const qverr::SourceLocation& location,
                        const char* key = nullptr, const char* text = nullptr,
                        std::initializer_list<Record> records = {});

}  // namespace dataaccesshal

#define DA_LOCATION(source, constant) QVERR_FIXED_LOCATION(source, __LINE__, "qv3377hal", constant)
