#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "qverr/Codes.h"
#include "qverr/trace.h"
#include "qvmxl/qvmxl.h"

namespace {

using qvmxl::UsageParam;

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

qvmxl::Writer writer(qverr::Status& status) {
    return qvmxl::getOrderedDataWriter(qvmxl::kTranslatorName, status);
}

// Also when the source path is too long for the first buffer.
TEST(ErrorContext, RecordsOfEveryValueTypeFollowTheRaise) {
    for (const std::string& file : {std::string(kBadValue.file), std::string(600, 'p')}) {
        qverr::Status status;
        status.setCode(qverr::qvapalerr_invalidParameter,
                       {file.c_str(), 7, "qv3377hal", "qvapalerr_invalidParameter"});
        auto w = qvmxl::writeUsageParam(writer(status),
                                        UsageParam<const char*>{"kUsageTypeBadValue", "a\"b"});
        w = qvmxl::writeUsageParam(w, UsageParam<uint32_t>{"u", 7});
        w = qvmxl::writeUsageParam(w, UsageParam<int32_t>{"i", -7});
        w = qvmxl::writeUsageParam(w, UsageParam<int64_t>{"l", 7});
        w = qvmxl::writeUsageParam(w, UsageParam<uint64_t>{"ul", UINT64_MAX});
        w = qvmxl::writeUsageParam(w, UsageParam<double>{"f", 1500});
        w = qvmxl::writeUsageParam(w, UsageParam<double>{"nan", NAN});
        w = qvmxl::writeComment(w, "see the log");
        // A later writer appends to the same array.
        qvmxl::writeUsageParam(writer(status), UsageParam<double>{"inf", -INFINITY});
        ASSERT_NE(w.cursor, nullptr);
        EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
        std::string raised = kRaised;
        raised.replace(raised.find(kBadValue.file), std::string(kBadValue.file).size(), file);
        EXPECT_EQ(status.jsonText(),
                  raised + kHeader + usage("kUsageTypeBadValue", "\"a\\\"b\"", "string") + "," +
                      usage("u", "7", "uint32_t") + "," + usage("i", "-7", "int32_t") + "," +
                      usage("l", "\"7\"", "int64_t") + "," +
                      usage("ul", "\"18446744073709551615\"", "uint64_t") + "," +
                      usage("f", "\"1.500000e3\"", "float") + "," +
                      usage("nan", "\"NaN\"", "float") +
                      ",{\"type\":\"comment\",\"comment\":\"see the log\"}," +
                      usage("inf", "\"-Infinity\"", "float") + "]}}");
    }
}

// The records the translation script renders as a line of explanation.
TEST(ErrorContext, ElaborationsAndEmptyRecordsKeepTheirOrder) {
    qverr::Status status;
    status.setCode(qverr::qvapalerr_invalidParameter, kBadValue);
    auto w = qvmxl::writeElaboration(writer(status), "Could not open file: ");
    w = qvmxl::writeElaboration(w, "/a \"b\"");
    w = qvmxl::writeEmpty(w);
    w = qvmxl::writeUsageParam(w, UsageParam<uint32_t>{"kUsageTypeRequestedValue", 3});
    qvmxl::writeElaboration(w, nullptr);
    EXPECT_EQ(status.jsonText(),
              kRaised + kHeader +
                  "{\"type\":\"elaboration\",\"usage\":\"Could not open file: \"},"
                  "{\"type\":\"elaboration\",\"usage\":\"/a \\\"b\\\"\"},"
                  "{\"type\":\"empty\"}," +
                  usage("kUsageTypeRequestedValue", "3", "uint32_t") +
                  ",{\"type\":\"elaboration\",\"usage\":\"\"}]}}");
}

TEST(ErrorContext, FindsOrCompletesAnExistingPayload) {
    qverr::Status other;
    other.setJson("{\"translator\":\"other\",\"translator_info\":{}}");
    auto w = writer(other);
    EXPECT_EQ(w.cursor, nullptr);
    w = qvmxl::writeComment(qvmxl::writeUsageParam(w, UsageParam<uint32_t>{"a", 1}), "c");
    EXPECT_EQ(w.cursor, nullptr);
    EXPECT_STREQ(other.jsonText(), "{\"translator\":\"other\",\"translator_info\":{}}");

    const std::string comment = "{\"type\":\"comment\",\"comment\":\"c\"}]}}";
    qverr::Status noData;
    noData.setJson("{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"x\":1}}");
    qvmxl::writeComment(writer(noData), "c");
    EXPECT_EQ(noData.jsonText(),
              "{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"x\":1,"
              "\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[" +
                  comment);

    qverr::Status noInfo;
    noInfo.setJson("{\"translator\":\"mxlator_qv3377HAL\"}");
    qvmxl::writeComment(writer(noInfo), "c");
    EXPECT_EQ(noInfo.jsonText(), kHeader.substr(1).insert(0, "{") + comment);

    qverr::Status malformed;
    malformed.setJson(
        "{\"translator\":\"mxlator_qv3377HAL\",\"translator_info\":{\"ordered_data\":5}}");
    EXPECT_EQ(writer(malformed).cursor, nullptr);
}

TEST(ErrorContext, RecordsGrowTheBuffer) {
    qverr::Status status;
    auto w = writer(status);
    const std::string text(100, 't');
    std::string records;
    for (int i = 0; i < 40; ++i) {
        w = qvmxl::writeUsageParam(w, UsageParam<const char*>{"k", text.c_str()});
        records += (i ? "," : "") + usage("k", '"' + text + '"', "string");
    }
    EXPECT_GE(status.capacity, 4096u);
    EXPECT_EQ(status.jsonText(), "{" + kHeader.substr(1) + records + "]}}");
}

std::string engineering(double value, int digits = 6) {
    char buffer[100];
    qvmxl::writeEngineeringNumber(buffer, sizeof buffer, digits, value);
    return buffer;
}

int gFormats = 0;
int countingFormat(char* buffer, size_t size, const char* format, va_list args) {
    ++gFormats;
    return vsnprintf(buffer, size, format, args);
}

TEST(EngineeringNumbers, ScaleByThousandsAndStopOnNonFiniteValues) {
    const struct {
        double value;
        int digits;
        const char* text;
    } cases[] = {{1500, 6, "1.500000e3"},
                 {0.001, 6, "1.0e-3"},
                 {0, 6, "0.0"},
                 {-0.0, 6, "0.0"},
                 {1, 6, "1.0"},
                 {-1500, 6, "-1.500000e3"},
                 {1000, 6, "1.0e3"},
                 {2.5e-7, 2, "250.0e-9"},
                 {123.456, 2, "123.46"},
                 {NAN, 6, "NaN"},
                 {INFINITY, 6, "Infinity"},
                 {-INFINITY, 6, "-Infinity"}};
    for (const auto& c : cases) EXPECT_EQ(engineering(c.value, c.digits), c.text) << c.value;
    EXPECT_EQ(engineering(std::numeric_limits<double>::max()).substr(0, 4), "179.");
    EXPECT_EQ(engineering(std::numeric_limits<double>::denorm_min()).substr(0, 4), "4.94");
}

TEST(EngineeringNumbers, FormatThroughTheTraceHookIntoTheGivenSize) {
    const trace::Settings saved = trace::settings();
    trace::settings().format = &countingFormat;
    // Exactly sized heap blocks: a write past them is caught.
    for (size_t size = 1; size < 12; ++size) {
        std::unique_ptr<char[]> buffer(new char[size]);
        qvmxl::writeEngineeringNumber(buffer.get(), size, 6, -1234.5678);
        EXPECT_EQ(std::string(buffer.get()), std::string("-1.234568e3").substr(0, size - 1));
    }
    trace::settings() = saved;
    EXPECT_GT(gFormats, 0);
    EXPECT_EQ(qvmxl::formatValueText(nullptr, 0, "%d", 1), 0);
}

}  // namespace
