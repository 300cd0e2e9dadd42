#include "qvmxl/qvmxl.h"

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "qverr/json.h"
#include "qverr/trace.h"

namespace qvmxl {
namespace {

namespace json = qverr::json;

// Room for any value text: the longest engineering text of a double is far
// below it.
constexpr size_t kValueTextSize = 100;

json::GrowCallback callback(const Writer& writer) {
    return {writer.grow, writer.context};
}

Writer nullWriter(qverr::Status& status) {
    return {nullptr, &qverr::growStatusJson, &status};
}

// Writes the "translator_info" header and an empty "ordered_data" inside the
// object whose closing brace is at `infoEnd`.
Writer startOrderedData(char* infoEnd, qverr::Status& status) {
    const json::GrowCallback grow{&qverr::growStatusJson, &status};
    char* cursor = json::addStringWithGrow(infoEnd, "is_debug", "0", grow);
    cursor = json::addIntWithGrow(cursor, "version", 1, grow);
    cursor = json::addArrayWithGrow(cursor, "ordered_data", grow);
    return {cursor, &qverr::growStatusJson, &status};
}

// Mutable position of a member found by the reader inside the status's own
// buffer.
char* inBuffer(qverr::Status& status, const char* found) {
    return found ? status.json + (found - status.json) : nullptr;
}

// One record: {"type":type, <first>:..., <more>...}; `fill` writes the
// members after "type" and returns the cursor (null on failure).
template <typename Fill>
Writer writeRecord(Writer writer, const char* type, Fill fill) {
    if (!writer.cursor) return writer;
    const json::GrowCallback grow = callback(writer);
    char* cursor = json::addObjectWithGrow(writer.cursor, nullptr, grow);
    cursor = json::addStringWithGrow(cursor, "type", type, grow);
    if (cursor) cursor = fill(cursor, grow);
    writer.cursor = json::leaveObject(cursor);
    return writer;
}

// A usage record whose value is written by `value`.
template <typename WriteValue>
Writer writeUsage(Writer writer, const char* usage, const char* valueType, WriteValue value) {
    return writeRecord(writer, "usage", [&](char* cursor, const json::GrowCallback& grow) {
        cursor = json::addStringWithGrow(cursor, "usage", usage, grow);
        if (cursor) cursor = value(cursor, grow);
        return json::addStringWithGrow(cursor, "value_type", valueType, grow);
    });
}

Writer writeUsageText(Writer writer, const char* usage, const char* valueType, const char* text) {
    return writeUsage(writer, usage, valueType, [&](char* cursor, const json::GrowCallback& grow) {
        return json::addStringWithGrow(cursor, "value", text, grow);
    });
}

}  // namespace

Writer getOrderedDataWriter(const char* translatorName, qverr::Status& status) {
    char* rootEnd = status.getJsonInsertPoint(2);
    if (!rootEnd || !translatorName) return nullWriter(status);
    const json::GrowCallback grow{&qverr::growStatusJson, &status};

    const char* translator = json::findMember(status.json, "translator");
    if (!translator) {
        char* cursor = json::addStringWithGrow(rootEnd, "translator", translatorName, grow);
        return startOrderedData(json::addObjectWithGrow(cursor, "translator_info", grow), status);
    }
    uint64_t length = 0;
    const char* name = json::getString(translator, nullptr, &length, nullptr);
    // Another translator's payload is never mixed with ours.
    if (!name || !json::equalsUnescaped(translatorName, name, length)) return nullWriter(status);

    const char* info = json::findMember(status.json, "translator_info");
    if (!info) {
        return startOrderedData(json::addObjectWithGrow(rootEnd, "translator_info", grow), status);
    }
    json::Token token;
    if (!json::parseValueHead(info, token) || token.type != json::kTokenObject) {
        return nullWriter(status);
    }
    const char* data = json::findMember(token.start, "ordered_data");
    if (!data)
        return startOrderedData(inBuffer(status, json::findContainerEnd(token.start)), status);
    if (!json::parseValueHead(data, token) || token.type != json::kTokenArray) {
        return nullWriter(status);
    }
    char* arrayEnd = inBuffer(status, json::findContainerEnd(token.start));
    return {arrayEnd, &qverr::growStatusJson, &status};
}

Writer writeUsageParam(Writer writer, const UsageParam<const char*>& param) {
    return writeUsageText(writer, param.usage, "string", param.value ? param.value : "");
}

Writer writeUsageParam(Writer writer, const UsageParam<uint32_t>& param) {
    return writeUsage(writer, param.usage, "uint32_t",
                      [&](char* cursor, const json::GrowCallback& grow) {
                          return json::addUIntWithGrow(cursor, "value", param.value, grow);
                      });
}

Writer writeUsageParam(Writer writer, const UsageParam<int32_t>& param) {
    return writeUsage(writer, param.usage, "int32_t",
                      [&](char* cursor, const json::GrowCallback& grow) {
                          return json::addIntWithGrow(cursor, "value", param.value, grow);
                      });
}

Writer writeUsageParam(Writer writer, const UsageParam<int64_t>& param) {
    char text[kValueTextSize];
    formatValueText(text, sizeof text, "%" PRId64, param.value);
    return writeUsageText(writer, param.usage, "int64_t", text);
}

Writer writeUsageParam(Writer writer, const UsageParam<uint64_t>& param) {
    char text[kValueTextSize];
    formatValueText(text, sizeof text, "%" PRIu64, param.value);
    return writeUsageText(writer, param.usage, "uint64_t", text);
}

Writer writeUsageParam(Writer writer, const UsageParam<double>& param) {
    char text[kValueTextSize];
    writeEngineeringNumber(text, sizeof text, 6, param.value);
    return writeUsageText(writer, param.usage, "float", text);
}

Writer writeComment(Writer writer, const char* comment) {
    return writeRecord(writer, "comment", [&](char* cursor, const json::GrowCallback& grow) {
        return json::addStringWithGrow(cursor, "comment", comment ? comment : "", grow);
    });
}

Writer writeElaboration(Writer writer, const char* text) {
    return writeRecord(writer, "elaboration", [&](char* cursor, const json::GrowCallback& grow) {
        return json::addStringWithGrow(cursor, "usage", text ? text : "", grow);
    });
}

Writer writeEmpty(Writer writer) {
    return writeRecord(writer, "empty", [](char* cursor, const json::GrowCallback&) { return cursor; });
}

int formatValueText(char* buffer, size_t size, const char* format, ...) {
    if (!buffer || size == 0) return 0;
    buffer[0] = 0;
    va_list args;
    va_start(args, format);
    const int result = trace::formatv(buffer, size, format, args);
    va_end(args);
    buffer[size - 1] = 0;
    return result;
}

int writeEngineeringNumber(char* buffer, size_t size, int digits, double value) {
    // Non-finite values have no mantissa to scale: scaling them never ends.
    if (std::isnan(value)) return formatValueText(buffer, size, "%s", "NaN");
    if (std::isinf(value))
        return formatValueText(buffer, size, "%s", value < 0 ? "-Infinity" : "Infinity");

    const char* sign = value < 0 ? "-" : "";
    double mantissa = std::fabs(value);
    int exponent = 0;
    if (mantissa != 0) {
        while (mantissa <= 1) {
            mantissa *= 1000;
            exponent -= 3;
        }
        while (mantissa >= 1000) {
            mantissa /= 1000;
            exponent += 3;
        }
    }
    const int precision = mantissa == std::floor(mantissa) ? 1 : digits;
    if (exponent == 0) return formatValueText(buffer, size, "%s%.*f", sign, precision, mantissa);
    return formatValueText(buffer, size, "%s%.*fe%d", sign, precision, mantissa, exponent);
}

}  // namespace qvmxl
