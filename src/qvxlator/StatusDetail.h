// Raising a status with the translators' debug objects.
#pragma once

#include <cstdint>

#include "qverr/SourceLocation.h"
#include "qverr/Status.h"

namespace qvxlator {

// Raises `code` at `location`; true when the status took it (the caller adds
// its detail only then).
inline bool raise(qverr::Status& status, int32_t code, const qverr::SourceLocation& location) {
    return status.setCode(code, location);
}

// Raises `code` and, when the status took it, adds {object: {key: text}}.
void raiseWithDebug(qverr::Status& status, int32_t code, const qverr::SourceLocation& location,
                    const char* object, const char* key, const char* text);

}  // namespace qvxlator
