// Error-context records: the translator payload inside a status's JSON
// detail ("translator", "translator_info" with "ordered_data") and the
// writers of one usage record per value type.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qverr/Status.h"

namespace qvmxl {

// Translator of this library's own errors.
inline constexpr const char* kTranslatorName = "mxlator_qv3377HAL";

// A cursor into the status's JSON buffer that grows the buffer as needed;
// a null cursor makes every later write a no-op.
struct Writer {
    char* cursor;
    char* (*grow)(char* cursor, void* context);
    void* context;  // the qverr::Status written
};

template <typename T>
struct UsageParam {
    const char* usage;  // usage-type name, e.g. "kUsageTypeBadValue"
    T value;
};

// Positions a writer inside "ordered_data" (creating the payload when
// absent). A status whose payload names another translator gets a null
// writer.
Writer getOrderedDataWriter(const char* translatorName, qverr::Status& status);

Writer writeUsageParam(Writer writer, const UsageParam<const char*>& param);
Writer writeUsageParam(Writer writer, const UsageParam<uint32_t>& param);
Writer writeUsageParam(Writer writer, const UsageParam<int32_t>& param);
Writer writeUsageParam(Writer writer, const UsageParam<int64_t>& param);
Writer writeUsageParam(Writer writer, const UsageParam<uint64_t>& param);
// Float values are passed as double.
Writer writeUsageParam(Writer writer, const UsageParam<double>& param);
// {"type":"comment","comment":text}
Writer writeComment(Writer writer, const char* comment);
// {"type":"elaboration","usage":text}: a piece of explanation that the
// translator shows as its term (or as the text itself).
Writer writeElaboration(Writer writer, const char* text);
// {"type":"empty"}: ends a line of elaborations.
Writer writeEmpty(Writer writer);

// Formats through the trace log's formatting hook into buffer[size].
int formatValueText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Engineering text of a double: mantissa in (1, 1000] and an exponent that
// is a multiple of 3 ("1.500000e3"); non-finite values give "NaN",
// "Infinity" or "-Infinity".
int writeEngineeringNumber(char* buffer, size_t size, int digits, double value);

}  // namespace qvmxl
