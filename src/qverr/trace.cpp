#include "qverr/trace.h"

#include <cstdio>
#include <cstring>

namespace trace {
namespace {

void writeToStandardError(const char* text) {
    fputs(text, stderr);
}

int formatWithVsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    return vsnprintf(buffer, size, format, args);
}

// Constant-initialised: loading the library runs no code for it.
constinit Settings gSettings{4096, &writeToStandardError, &formatWithVsnprintf, 10, 32, 4};

// Every line names the platform component; its field shows the last
// characters.
constexpr const char* kComponent = "internal_sdi_hal23u";

struct LineWriter {
    char* position;
    size_t room;  // bytes left, the NUL included

    void text(const char* s, size_t length) {
        const size_t n = length < room - 1 ? length : room - 1;
        memcpy(position, s, n);
        position += n;
        room -= n;
        *position = 0;
    }
    void pad(char c, size_t count) {
        const size_t n = count < room - 1 ? count : room - 1;
        memset(position, c, n);
        position += n;
        room -= n;
        *position = 0;
    }
    // Right-aligned in `width`; a longer text shows its last `width` characters.
    void field(const char* s, size_t width, char padding) {
        const size_t length = strlen(s);
        if (length < width) {
            pad(padding, width - length);
            text(s, length);
        } else {
            text(s + length - width, width);
        }
    }
};

void output(const char* text) {
    const OutputHook hook = gSettings.output ? gSettings.output : &writeToStandardError;
    hook(text);
}

}  // namespace

Settings& settings() {
    return gSettings;
}

int formatv(char* buffer, size_t size, const char* format, va_list args) {
    const FormatHook hook = gSettings.format ? gSettings.format : &formatWithVsnprintf;
    return hook(buffer, size, format, args);
}

void log(uint32_t level, const LogLocation& location, const char* format, ...) {
    if (level < gSettings.threshold) return;
    va_list args;
    va_start(args, format);
    vlog(location, format, args);
    va_end(args);
}

void logAlways(const LogLocation& location, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog(location, format, args);
    va_end(args);
}

void vlog(const LogLocation& location, const char* format, va_list args) {
    char line[kLineSize];
    LineWriter writer{line, sizeof line};
    line[0] = 0;

    char digits[16];
    char* digitsEnd = digits + sizeof digits - 1;
    *digitsEnd = 0;
    char* firstDigit = digitsEnd;
    for (uint32_t n = static_cast<uint32_t>(location.line); n; n /= 10) {
        *--firstDigit = static_cast<char>('0' + n % 10);
    }

    writer.text("[", 1);
    writer.field(kComponent, gSettings.componentWidth, ' ');
    writer.text("|", 1);
    writer.field(location.file ? location.file : "", gSettings.fileWidth, ' ');
    writer.text("|", 1);
    writer.field(firstDigit, gSettings.lineWidth, '0');
    writer.text("] ", 2);

    if (writer.room > 1 && format) formatv(writer.position, writer.room, format, args);

    // Cut so that the suffix and the NUL always fit.
    const char* suffix = location.suffix ? location.suffix : "";
    size_t suffixLength = strnlen(suffix, kLineSize - 1);
    line[kLineSize - 1 - suffixLength] = 0;
    const size_t length = strlen(line);
    memcpy(line + length, suffix, suffixLength);
    line[length + suffixLength] = 0;
    output(line);
}

void print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprint(format, args);
    va_end(args);
}

void vprint(const char* format, va_list args) {
    char text[kLineSize];
    text[0] = 0;
    if (format) formatv(text, sizeof text, format, args);
    text[sizeof text - 1] = 0;
    output(text);
}

}  // namespace trace
