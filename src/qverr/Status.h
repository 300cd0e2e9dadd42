// The chained status record: a status code with a JSON detail object beside
// it. A caller passes one status through a chain of operations; each adds to
// it and the first error survives.
#pragma once

#include <cstdint>

#include "qverr/SourceLocation.h"

namespace nQVAPALS100 {
struct tStatus;
}

namespace qverr {

// Platform status codes.
inline constexpr int32_t qvapalerr_memoryFull = -52000;
inline constexpr int32_t qvapalerr_featureUnsupported = -52002;
inline constexpr int32_t qvapalerr_softwareFaultAPALInternalUseOnly = -52003;
inline constexpr int32_t kStatusFailedCast = -52004;
inline constexpr int32_t qvapalerr_invalidParameter = -52005;
inline constexpr int32_t qvapalerr_resourceNotFound = -52006;
inline constexpr int32_t qvapalerr_operationTimedOut = -52007;
inline constexpr int32_t qvapalerr_osFault = -52008;
inline constexpr int32_t qvapalerr_resourceNotInitialized = -52010;
inline constexpr int32_t kStatusAlreadyInProgress = -52011;
inline constexpr int32_t kStatusEndOfData = -52012;
inline constexpr int32_t qvapalerr_objectNameCollision = -52013;
inline constexpr int32_t kStatusOwnerDied = -52014;
inline constexpr int32_t kStatusDeadlock = -52015;
inline constexpr int32_t kStatusAlreadyStarted = -52016;
inline constexpr int32_t qvapalerr_bufferTooSmall = -52019;
inline constexpr int32_t kStatusIdentifierRemoved = -52020;
inline constexpr int32_t kStatusConnectionAborted = -52023;
inline constexpr int32_t kStatusIOError = -52024;
inline constexpr int32_t kStatusInterrupted = -52025;
inline constexpr int32_t kStatusPermissionDenied = -52026;
inline constexpr int32_t kStatusInvalidUTF8 = -52027;
inline constexpr int32_t qvapalerr_unsupportedFormat = -52029;
inline constexpr int32_t qvapalerr_resourceBusy = -52031;
// Selector outside the values an operation knows.
inline constexpr int32_t qvpalerr_badSelector = -50003;

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
