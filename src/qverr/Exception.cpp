#include "qverr/Exception.h"

#include <cstring>
#include <utility>

#include "qvapal/status/tStatus.h"
#include "qverr/json.h"

namespace qverr {

ExceptionBase::ExceptionBase(ExceptionBase&& other) noexcept {
    status.mergeMove(other.status);
}

ExceptionBase::ExceptionBase(const ExceptionBase& other) {
    status.merge(other.status);
}

// The status's own destructor releases the buffer through its realloc.
ExceptionBase::~ExceptionBase() = default;

const char* ExceptionBase::what() const noexcept {
    return status.jsonText();
}

Exception::Exception(int32_t code, const SourceLocation& location) {
    status.setCode(code, location);
}

Exception::Exception(Exception&& other) noexcept
    : ExceptionBase(std::move(static_cast<ExceptionBase&>(other))), std::exception(other) {}

Exception::Exception(const Exception& other)
    : ExceptionBase(static_cast<const ExceptionBase&>(other)), std::exception(other) {}

Exception::~Exception() = default;

const char* Exception::what() const noexcept {
    return ExceptionBase::what();
}

void throwStatus(Status&& status) {
    Exception exception;
    exception.status = std::move(status);
    throw exception;
}

void throwError(int32_t code, const SourceLocation& location) {
    throw Exception(code, location);
}

void throwIfTStatusError(const nQVAPALS100::tStatus& platformStatus) {
    if (platformStatus.getCode() >= 0) return;
    Exception exception;
    exception.status.mergeTStatus(platformStatus);
    throw exception;
}

namespace {

// Unescapes a JSON string value of the detail into out[size]: its first
// size - 1 bytes, or with `keepTail` its last ones. Returns whether the text
// was cut.
bool readDetailText(const char* value, char* out, size_t size, bool keepTail) {
    out[0] = 0;
    uint64_t escapedLength = 0;
    const char* escaped = json::getString(value, nullptr, &escapedLength, nullptr);
    if (!escaped) return false;

    json::UnescapeCursor cursor;
    uint64_t total = 0;
    if (keepTail) {
        json::beginUnescape(cursor, escaped, escapedLength);
        while (json::nextUnescapedByte(cursor)) ++total;
    }
    const uint64_t skip = total > size - 1 ? total - (size - 1) : 0;
    json::beginUnescape(cursor, escaped, escapedLength);
    for (uint64_t i = 0; i < skip; ++i) json::nextUnescapedByte(cursor);
    size_t length = 0;
    while (length + 1 < size) {
        const unsigned char byte = json::nextUnescapedByte(cursor);
        if (!byte) break;
        out[length++] = static_cast<char>(byte);
    }
    out[length] = 0;
    return skip > 0;
}

}  // namespace

bool copyStatusToTStatus(const Status& source, nQVAPALS100::tStatus& target) {
    if (source.code == 0 || target.isError()) return true;
    char component[sizeof target.component] = {};
    char file[sizeof target.file] = {};
    int32_t line = 0;
    if (source.json) {
        readDetailText(json::findMember(source.json, "component"), component, sizeof component,
                       false);
        const char* shown = file;
        if (readDetailText(json::findMember(source.json, "file"), file, sizeof file, true)) {
            while (*shown == '\\') ++shown;
        }
        if (shown != file) memmove(file, shown, strlen(shown) + 1);
        line = json::getInt(json::findMember(source.json, "line"), 0, nullptr);
    }
    target.setCode(source.code, component, file, line > 0 ? static_cast<uint64_t>(line) : 0);
    return true;
}

}  // namespace qverr
