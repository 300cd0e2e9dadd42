// The chained status record: a status code with a JSON detail object beside
// it. A caller passes one status through a chain of operations; each adds to
// it and the first error survives.
#pragma once

#include <cstdint>

#include "qverr/Codes.h"
#include "qverr/SourceLocation.h"

namespace nQVAPALS100 {
struct tStatus;
}

namespace qverr {

struct Status;
using JsonReallocFunction = bool (*)(Status& status, uint32_t size);

// Resizes the status's JSON buffer: 0 frees it; otherwise grows it to 512
// bytes or the next power of two, keeping the text.
bool defaultJsonRealloc(Status& status, uint32_t size);
// Grow callback of the JSON writer for a status's buffer: `status` is the
// qverr::Status written (see Status::growJson).
char* growStatusJson(char* cursor, void* status);

struct Status {
    int32_t code = 0;
    uint32_t capacity = 0;
    JsonReallocFunction realloc = &defaultJsonRealloc;
    char* json = nullptr;

    Status() = default;
    // Moves the code and detail; the source is left empty.
    Status(Status&& other) noexcept;
    Status& operator=(Status&& other) noexcept;
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    // Releases the buffer through the status's own realloc function.
    ~Status();

    bool isError() const { return code < 0; }
    bool isWarning() const { return code > 0; }
    // The JSON detail, "" when there is none.
    const char* jsonText() const { return json ? json : ""; }

    char* getJsonInsertPoint(uint32_t minimum);
    char* setJson(const char* text);
    bool assign(const Status& other);
    bool setCodeOnly(int32_t code);
    bool merge(const Status& other, bool* detailComplete = nullptr);
    bool mergeMove(Status& other, bool* detailComplete = nullptr);
    char* growJson(char* cursor);
    char* addJsonString(char* cursor, const char* key, const char* value);
    char* addSourceLocation(char* cursor, const SourceLocation& location);
    // The raise operation of the whole system.
    bool setCode(int32_t code, const SourceLocation& location, bool* detailComplete = nullptr);
    // Merges a platform status (code narrowed to 32 bits without ever
    // turning an error into success or a warning; file, line, component).
    bool mergeTStatus(const nQVAPALS100::tStatus& platformStatus);
};

// Narrows a 64-bit status code to 32 bits, keeping its sign class.
int32_t narrowStatusCode(int64_t code);

}  // namespace qverr
