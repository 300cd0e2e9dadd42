#include "qverr/Status.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "qvapal/status/tStatus.h"
#include "qverr/json.h"

namespace qverr {
namespace {

constexpr uint32_t kMinimumCapacity = 512;
// A buffer holds the text, its NUL and the writer's end marker in the last
// byte: a text or free room of n bytes needs n + 2. The largest n keeps
// n + 2 within what the default realloc accepts (0x7FFFFFFF).
constexpr uint32_t kJsonOverhead = 2;
constexpr uint32_t kLargestMinimum = 0x7FFFFFFF - kJsonOverhead;

// The one precedence rule: 0 < warning < error, and the first error stays.
bool accepts(int32_t current, int32_t incoming) {
    if (incoming == 0 || current < 0) return false;
    if (current > 0) return incoming < 0;
    return true;
}

json::GrowCallback growCallback(Status& status) {
    return {&growStatusJson, &status};
}

// Copies a text field of a platform record, which may fill its whole width
// without a NUL.
template <size_t N>
void copyRecordText(char (&out)[N + 1], const char (&field)[N]) {
    memcpy(out, field, N);
    out[N] = 0;
}

}  // namespace

bool defaultJsonRealloc(Status& status, uint32_t size) {
    if (size == 0) {
        free(status.json);
        status.json = nullptr;
        status.capacity = 0;
        return true;
    }
    if (size <= status.capacity) return true;
    if (size > 0x7FFFFFFFu) return false;
    uint32_t capacity = kMinimumCapacity;
    while (capacity < size) capacity *= 2;
    char* buffer = static_cast<char*>(malloc(capacity));
    if (!buffer) return false;
    json::initBuffer(buffer, capacity, status.json ? status.json : "{}");
    free(status.json);
    status.json = buffer;
    status.capacity = capacity;
    return true;
}

char* growStatusJson(char* cursor, void* status) {
    return static_cast<Status*>(status)->growJson(cursor);
}

int32_t narrowStatusCode(int64_t code) {
    // Out-of-range errors stay errors (an internal fault: no status code is
    // that wide); out-of-range warnings stay warnings.
    if (code < std::numeric_limits<int32_t>::min())
        return qvapalerr_softwareFaultAPALInternalUseOnly;
    if (code > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(code);
}

Status::Status(Status&& other) noexcept {
    *this = std::move(other);
}

Status& Status::operator=(Status&& other) noexcept {
    if (this == &other) return *this;
    if (json) realloc(*this, 0);
    code = other.code;
    capacity = other.capacity;
    realloc = other.realloc;
    json = other.json;
    other.code = 0;
    other.capacity = 0;
    other.realloc = &defaultJsonRealloc;
    other.json = nullptr;
    return *this;
}

Status::~Status() {
    if (json) realloc(*this, 0);
}

char* Status::getJsonInsertPoint(uint32_t minimum) {
    if (minimum > kLargestMinimum) return nullptr;
    const uint32_t needed = minimum + kJsonOverhead;
    if (needed > capacity && !realloc(*this, needed)) return nullptr;
    return json ? json::findContainerEnd(json) : nullptr;
}

char* Status::setJson(const char* text) {
    if (!text) text = "{}";
    const size_t length = strlen(text);
    if (length > kLargestMinimum) return nullptr;
    const uint32_t needed = static_cast<uint32_t>(length) + kJsonOverhead;
    if (needed > capacity && !realloc(*this, needed)) return nullptr;
    if (!json || capacity < needed) return nullptr;
    return json::initBuffer(json, capacity, text);
}

bool Status::assign(const Status& other) {
    if (this == &other) return true;
    if (!other.json) {
        if (json) realloc(*this, 0);
    } else if (!setJson(other.json)) {
        return false;
    }
    code = other.code;
    return true;
}

bool Status::setCodeOnly(int32_t newCode) {
    if (!accepts(code, newCode)) return false;
    code = newCode;
    if (json) json::initBuffer(json, capacity, "{}");
    return true;
}

bool Status::merge(const Status& other, bool* detailComplete) {
    if (detailComplete) *detailComplete = true;
    if (this == &other || !setCodeOnly(other.code)) return false;
    if (other.json && !setJson(other.json) && detailComplete) *detailComplete = false;
    return true;
}

bool Status::mergeMove(Status& other, bool* detailComplete) {
    if (detailComplete) *detailComplete = true;
    if (this == &other || !setCodeOnly(other.code)) return false;
    if (realloc == other.realloc) {
        if (json) realloc(*this, 0);
        json = other.json;
        capacity = other.capacity;
        other.json = nullptr;
        other.capacity = 0;
    } else if (other.json && !setJson(other.json) && detailComplete) {
        *detailComplete = false;
    }
    return true;
}

char* Status::growJson(char* cursor) {
    if (!json || !cursor) return nullptr;
    // Doubling, minus 4: with the 2 bytes getJsonInsertPoint adds, realloc
    // is asked for 2 x capacity - 2, which the default function rounds up to
    // exactly 2 x capacity, and at 1 GiB the request still fits its limit.
    const uint64_t wanted = 2 * static_cast<uint64_t>(capacity) - 4;
    const uint32_t before = capacity;
    const ptrdiff_t offset = cursor - json;
    if (wanted > kLargestMinimum || capacity < 4) return nullptr;
    // A realloc function that gives no more room would make writers retry
    // for ever.
    if (!getJsonInsertPoint(static_cast<uint32_t>(wanted)) || capacity <= before) return nullptr;
    return json + offset;
}

char* Status::addJsonString(char* cursor, const char* key, const char* value) {
    return json::addStringWithGrow(cursor, key, value, growCallback(*this));
}

char* Status::addSourceLocation(char* cursor, const SourceLocation& location) {
    const json::GrowCallback grow = growCallback(*this);
    cursor = json::addStringWithGrow(cursor, "file", location.file, grow);
    cursor = json::addIntWithGrow(cursor, "line", static_cast<int32_t>(location.line), grow);
    if (location.component)
        cursor = json::addStringWithGrow(cursor, "component", location.component, grow);
    return cursor;
}

bool Status::setCode(int32_t newCode, const SourceLocation& location, bool* detailComplete) {
    if (detailComplete) *detailComplete = true;
    if (!setCodeOnly(newCode)) return false;
    char* cursor = setJson(nullptr);
    // The whole detail in one insert when it fits the buffer as it is;
    // otherwise member by member, growing as needed (so a buffer that
    // cannot grow keeps what did fit).
    char line[16];
    *std::to_chars(line, line + sizeof line - 1, static_cast<int32_t>(location.line)).ptr = 0;
    const json::Member members[] = {{"error_constant", location.errorConstant, false},
                                    {"file", location.file, false},
                                    {"line", line, true},
                                    {"component", location.component, false}};
    if (char* all = json::addMembers(cursor, members, location.component ? 4 : 3)) {
        cursor = all;
    } else {
        cursor = addJsonString(cursor, "error_constant", location.errorConstant);
        cursor = addSourceLocation(cursor, location);
    }
    if (!cursor && detailComplete) *detailComplete = false;
    return true;
}

bool Status::mergeTStatus(const nQVAPALS100::tStatus& platformStatus) {
    const int64_t platformCode = platformStatus.getCode();
    if (platformCode == 0) return true;
    if (!setCodeOnly(narrowStatusCode(platformCode))) return true;
    if (!platformStatus.isFullSize()) return true;

    char file[sizeof platformStatus.file + 1];
    char component[sizeof platformStatus.component + 1];
    copyRecordText(file, platformStatus.file);
    copyRecordText(component, platformStatus.component);
    const json::GrowCallback grow = growCallback(*this);
    bool complete = true;
    if (file[0]) {
        char* cursor = getJsonInsertPoint(256);
        cursor = json::addStringWithGrow(cursor, "file", file, grow);
        cursor =
            json::addUIntWithGrow(cursor, "line", static_cast<uint32_t>(platformStatus.line), grow);
        complete = cursor != nullptr;
    }
    if (component[0]) {
        char* cursor = getJsonInsertPoint(256);
        complete = json::addStringWithGrow(cursor, "component", component, grow) && complete;
    }
    return complete;
}

}  // namespace qverr
