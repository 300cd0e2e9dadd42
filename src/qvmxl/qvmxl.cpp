#include "qvmxl/qvmxl.h"

#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <iterator>

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

// The payload's header with an empty "ordered_data" array.
constexpr const char* kTranslatorInfo = R"({"is_debug":"0","version":1,"ordered_data":[]})";

// Adds "translator_info" (and "translator" when a name is given) at
// `cursor` in one insert; the writer is inside the new array.
Writer addPayload(char* cursor, const char* translatorName, qverr::Status& status) {
    const json::GrowCallback grow{&qverr::growStatusJson, &status};
    const json::Member translator[] = {{"translator", translatorName, false},
                                       {"translator_info", kTranslatorInfo, true}};
    const size_t skip = translatorName ? 0 : 1;
    char* after =
        json::addMembersWithGrow(cursor, translator + skip, std::size(translator) - skip, grow);
    // Before the "]}" that ends the array and the header.
    return {after ? after - 2 : nullptr, &qverr::growStatusJson, &status};
}

// Mutable position of a member found by the reader inside the status's own
// buffer.
char* inBuffer(qverr::Status& status, const char* found) {
    return found ? status.json + (found - status.json) : nullptr;
}

// One record, {"type":type,...}, written as one item.
Writer writeRecord(Writer writer, const json::Member* members, size_t count) {
    writer.cursor =
        json::addObjectOfMembersWithGrow(writer.cursor, nullptr, members, count, callback(writer));
    return writer;
}

// {"type":"usage","usage":usage,"value":value,"value_type":valueType}; the
// value is a string, or a raw JSON number when `number` is set.
Writer writeUsage(Writer writer, const char* usage, const char* valueType, const char* value,
                  bool number) {
    const json::Member members[] = {{"type", "usage", false},
                                    {"usage", usage, false},
                                    {"value", value, number},
                                    {"value_type", valueType, false}};
    return writeRecord(writer, members, std::size(members));
}

template <typename Integer>
Writer writeUsageNumber(Writer writer, const char* usage, const char* valueType, Integer value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text - 1, value);
    *result.ptr = 0;
    return writeUsage(writer, usage, valueType, text, true);
}

}  // namespace

Writer getOrderedDataWriter(const char* translatorName, qverr::Status& status) {
    // Room for the smallest object, as an insert point of 2 bytes asks.
    if (!translatorName || (status.capacity < 4 && !status.realloc(status, 4)) || !status.json ||
        *status.json != '{') {
        return nullWriter(status);
    }
    // One walk over the root's members finds the payload's members (their
    // first occurrence) and the root's closing brace: every record written
    // would otherwise parse the whole text more than once.
    const char* translator = nullptr;
    const char* info = nullptr;
    json::Key key{};
    bool found = false;
    const char* value = json::firstObjectMember(status.json, key, &found);
    while (value && found) {
        if (!translator && json::equalsUnescaped("translator", key.text, key.length)) {
            translator = value;
        } else if (!info && json::equalsUnescaped("translator_info", key.text, key.length)) {
            info = value;
        }
        json::Token member;
        const char* end = json::parseValue(value, member);
        value = end ? json::nextObjectMember(end, key, &found) : nullptr;
    }
    if (!value) return nullWriter(status);
    char* rootEnd = inBuffer(status, value - 1);
    if (!translator) return addPayload(rootEnd, translatorName, status);
    uint64_t length = 0;
    const char* name = json::getString(translator, nullptr, &length, nullptr);
    // Another translator's payload is never mixed with ours.
    if (!name || !json::equalsUnescaped(translatorName, name, length)) return nullWriter(status);

    if (!info) return addPayload(rootEnd, nullptr, status);
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
    return writeUsage(writer, param.usage, "string", param.value ? param.value : "", false);
}

Writer writeUsageParam(Writer writer, const UsageParam<uint32_t>& param) {
    return writeUsageNumber(writer, param.usage, "uint32_t", param.value);
}

Writer writeUsageParam(Writer writer, const UsageParam<int32_t>& param) {
    return writeUsageNumber(writer, param.usage, "int32_t", param.value);
}

Writer writeUsageParam(Writer writer, const UsageParam<int64_t>& param) {
    char text[kValueTextSize];
    formatValueText(text, sizeof text, "%" PRId64, param.value);
    return writeUsage(writer, param.usage, "int64_t", text, false);
}

Writer writeUsageParam(Writer writer, const UsageParam<uint64_t>& param) {
    char text[kValueTextSize];
    formatValueText(text, sizeof text, "%" PRIu64, param.value);
    return writeUsage(writer, param.usage, "uint64_t", text, false);
}

Writer writeUsageParam(Writer writer, const UsageParam<double>& param) {
    char text[kValueTextSize];
    writeEngineeringNumber(text, sizeof text, 6, param.value);
    return writeUsage(writer, param.usage, "float", text, false);
}

Writer writeComment(Writer writer, const char* comment) {
    const json::Member members[] = {{"type", "comment", false},
                                    {"comment", comment ? comment : "", false}};
    return writeRecord(writer, members, std::size(members));
}

Writer writeElaboration(Writer writer, const char* text) {
    const json::Member members[] = {{"type", "elaboration", false},
                                    {"usage", text ? text : "", false}};
    return writeRecord(writer, members, std::size(members));
}

Writer writeEmpty(Writer writer) {
    const json::Member members[] = {{"type", "empty", false}};
    return writeRecord(writer, members, std::size(members));
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
