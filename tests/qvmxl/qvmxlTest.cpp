#include "qvmxl/qvmxl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "qverr/json.h"
#include "qverr/trace.h"

namespace {

constexpr qverr::SourceLocation kBadValue{"qvmxl/x.cpp", 7, "qv3377hal",
                                          "qvapalerr_invalidParameter"};
const std::string kRaised =
    "{\"error_constant\":\"qvapalerr_invalidParameter\",\"file\":\"qvmxl/x.cpp\",\"line\":7,"
    "\"component\":\"qv3377hal\"";
const std::string kHeader =
    ",\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"is_debug\":\"0\",\"version\":1,"
    "\"ordered_data\":[";

std::string usage(const std::string& name, const std::string& value, const std::string& type) {
    return "{\"type\":\"usage\",\"usage\":\"" + name + "\",\"value\":" + value +
           ",\"value_type\":\"" + type + "\"}";
}

TEST(ErrorContext, FirstUsageRecordCreatesThePayload) {
    qverr::Status status;
    status.setCode(-52005, kBadValue);
    qvmxl::Writer writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<const char*>{"kUsageTypeBadValue", "a\"b"});
    ASSERT_NE(writer.cursor, nullptr);
    EXPECT_EQ(status.jsonText(),
              kRaised + kHeader + usage("kUsageTypeBadValue", "\"a\\\"b\"", "string") + "]}}");
    EXPECT_EQ(status.code, -52005);
}

TEST(ErrorContext, EveryValueTypeHasItsForm) {
    qverr::Status status;
    status.setCode(-1, kBadValue);
    auto writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<uint32_t>{"u", 7});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<int32_t>{"i", -7});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<int64_t>{"l", 7});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<uint64_t>{"ul", UINT64_MAX});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<double>{"f", 1500});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<double>{"nan", NAN});
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<double>{"inf", -INFINITY});
    writer = qvmxl::writeComment(writer, "see the log");
    ASSERT_NE(writer.cursor, nullptr);
    EXPECT_EQ(std::string(status.jsonText()).substr(kRaised.size()),
              kHeader + usage("u", "7", "uint32_t") + "," + usage("i", "-7", "int32_t") + "," +
                  usage("l", "\"7\"", "int64_t") + "," +
                  usage("ul", "\"18446744073709551615\"", "uint64_t") + "," +
                  usage("f", "\"1.500000e3\"", "float") + "," + usage("nan", "\"NaN\"", "float") +
                  "," + usage("inf", "\"-Infinity\"", "float") +
                  ",{\"type\":\"comment\",\"comment\":\"see the log\"}]}}");
}

TEST(ErrorContext, LaterWritersAppendToTheSameArray) {
    qverr::Status status;
    status.setCode(-1, kBadValue);
    qvmxl::writeUsageParam(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status),
                           qvmxl::UsageParam<uint32_t>{"a", 1});
    qvmxl::writeUsageParam(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status),
                           qvmxl::UsageParam<uint32_t>{"b", 2});
    EXPECT_EQ(std::string(status.jsonText()).substr(kRaised.size()),
              kHeader + usage("a", "1", "uint32_t") + "," + usage("b", "2", "uint32_t") + "]}}");
}

TEST(ErrorContext, AnotherTranslatorsPayloadIsLeftAlone) {
    qverr::Status status;
    status.setJson("{\"translator\":\"other\",\"translator_info\":{}}");
    const std::string before = status.jsonText();
    auto writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    EXPECT_EQ(writer.cursor, nullptr);
    writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<uint32_t>{"a", 1});
    writer = qvmxl::writeComment(writer, "c");
    EXPECT_EQ(writer.cursor, nullptr);
    EXPECT_EQ(before, status.jsonText());
}

TEST(ErrorContext, InfoWithoutOrderedDataGetsTheHeaderAgain) {
    qverr::Status status;
    status.setJson("{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"x\":1}}");
    qvmxl::writeComment(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status), "c");
    EXPECT_STREQ(status.jsonText(),
                 "{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"x\":1,"
                 "\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[{\"type\":\"comment\","
                 "\"comment\":\"c\"}]}}");

    qverr::Status noInfo;
    noInfo.setJson("{\"translator\":\"mxlator_qv3377HAL\"}");
    qvmxl::writeComment(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, noInfo), "c");
    EXPECT_STREQ(noInfo.jsonText(),
                 "{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"is_debug\":\"0\","
                 "\"version\":1,\"ordered_data\":[{\"type\":\"comment\",\"comment\":\"c\"}]}}");

    qverr::Status malformed;
    malformed.setJson(
        "{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"ordered_data\":5}}");
    EXPECT_EQ(qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, malformed).cursor, nullptr);
}

TEST(ErrorContext, RecordsGrowTheBuffer) {
    qverr::Status status;
    auto writer = qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
    const std::string text(100, 't');
    for (int i = 0; i < 40; ++i) {
        writer = qvmxl::writeUsageParam(writer, qvmxl::UsageParam<const char*>{"k", text.c_str()});
    }
    ASSERT_NE(writer.cursor, nullptr);
    EXPECT_EQ(status.code, 0);
    EXPECT_GE(status.capacity, 4096u);
    qverr::json::Token token;
    EXPECT_NE(qverr::json::parseValue(status.json, token), nullptr);
    const char* info = qverr::json::findMember(status.json, "translator_info");
    const char* data = qverr::json::findMember(info, "ordered_data");
    int count = 0;
    for (const char* e = qverr::json::firstArrayElement(data); e;
         e = qverr::json::nextArrayElement(qverr::json::parseValue(e, token))) {
        ++count;
    }
    EXPECT_EQ(count, 40);
}

std::string engineering(double value, int digits = 6) {
    char buffer[100];
    qvmxl::writeEngineeringNumber(buffer, sizeof buffer, digits, value);
    return buffer;
}

TEST(EngineeringNumbers, ScaleByThousands) {
    EXPECT_EQ(engineering(1500), "1.500000e3");
    EXPECT_EQ(engineering(0.001), "1.0e-3");
    EXPECT_EQ(engineering(0), "0.0");
    EXPECT_EQ(engineering(-0.0), "0.0");
    EXPECT_EQ(engineering(1), "1.0");
    EXPECT_EQ(engineering(-1500), "-1.500000e3");
    EXPECT_EQ(engineering(1000), "1.0e3");
    EXPECT_EQ(engineering(2.5e-7, 2), "250.0e-9");
    EXPECT_EQ(engineering(123.456, 2), "123.46");
    EXPECT_EQ(engineering(std::numeric_limits<double>::max()).substr(0, 4), "179.");
    EXPECT_EQ(engineering(std::numeric_limits<double>::denorm_min()).substr(0, 4), "4.94");
}

TEST(EngineeringNumbers, NonFiniteValuesDoNotLoop) {
    EXPECT_EQ(engineering(NAN), "NaN");
    EXPECT_EQ(engineering(INFINITY), "Infinity");
    EXPECT_EQ(engineering(-INFINITY), "-Infinity");
}

TEST(EngineeringNumbers, HonourTheBufferSize) {
    // Exactly sized heap blocks: a write past them is caught.
    for (size_t size = 1; size < 12; ++size) {
        std::unique_ptr<char[]> buffer(new char[size]);
        qvmxl::writeEngineeringNumber(buffer.get(), size, 6, -1234.5678);
        EXPECT_EQ(std::string(buffer.get()), std::string("-1.234568e3").substr(0, size - 1));
    }
    std::unique_ptr<char[]> small(new char[3]);
    EXPECT_GT(qvmxl::formatValueText(small.get(), 3, "%d", 12345), 2);
    EXPECT_STREQ(small.get(), "12");
    EXPECT_EQ(qvmxl::formatValueText(nullptr, 0, "%d", 1), 0);
}

int gFormats = 0;
int countingFormat(char* buffer, size_t size, const char* format, va_list args) {
    ++gFormats;
    return vsnprintf(buffer, size, format, args);
}

TEST(EngineeringNumbers, FormatThroughTheTraceHook) {
    const trace::Settings saved = trace::settings();
    trace::settings().format = &countingFormat;
    gFormats = 0;
    engineering(2);
    trace::settings() = saved;
    EXPECT_EQ(gFormats, 1);
}

}  // namespace
