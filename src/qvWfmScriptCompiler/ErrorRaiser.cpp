#include "qvWfmScriptCompiler/ErrorRaiser.h"

#include <cstdio>
#include <utility>

#include "qvWfmScriptCompiler/ParseTree.h"
#include "qvhtl/utf8/utf8.h"

namespace qvwfmscriptcompiler::detail {

ErrorRaiser::ErrorRaiser(int32_t code, const qverr::SourceLocation& location)
    : exception_(code, location),
      writer_(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, exception_.status)) {}

ErrorRaiser& ErrorRaiser::usage(const char* type, uint32_t value) {
    writer_ = qvmxl::writeUsageParam(writer_, qvmxl::UsageParam<uint32_t>{type, value});
    return *this;
}

ErrorRaiser& ErrorRaiser::usage(const char* type, int32_t value) {
    writer_ = qvmxl::writeUsageParam(writer_, qvmxl::UsageParam<int32_t>{type, value});
    return *this;
}

ErrorRaiser& ErrorRaiser::usage(const char* type, const char* value) {
    writer_ = qvmxl::writeUsageParam(writer_, qvmxl::UsageParam<const char*>{type, value});
    return *this;
}

ErrorRaiser& ErrorRaiser::usageFloat(const char* type, double value) {
    writer_ = qvmxl::writeUsageParam(writer_, qvmxl::UsageParam<double>{type, value});
    return *this;
}

ErrorRaiser& ErrorRaiser::at(uint32_t line, uint32_t position) {
    return usage("kUsageTypeLineNumber", line).usage("kUsageTypePositionInLine", position);
}

ErrorRaiser& ErrorRaiser::at(const iParseTree& node) {
    return at(node.line, node.positionInLine);
}

void ErrorRaiser::raise() {
    throw std::move(exception_);
}

std::string characterText(const char* cursor, const char* end) {
    if (cursor >= end) {
        return {};
    }
    const auto byte = static_cast<unsigned char>(*cursor);
    if (byte >= 0x80) {
        const char* sequenceEnd = cursor;
        uint32_t codePoint = 0;
        if (qvsstutf8::nextCodePointChecked(sequenceEnd, end, codePoint) == qvsstutf8::kDecodeOk) {
            return std::string(cursor, sequenceEnd);
        }
    } else if (byte != 0) {
        // Control characters too: the JSON writer escapes them.
        return std::string(1, static_cast<char>(byte));
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    return hex;
}

}  // namespace qvwfmscriptcompiler::detail
