#include "qvcheckname/checkName.h"

#include <gtest/gtest.h>

#include <string>

#include "qvmxl/errors.h"

namespace {

std::string head(const char* constant, int line) {
    return std::string("{\"error_constant\":\"") + constant +
           "\",\"file\":\"checkName\",\"line\":" + std::to_string(line) +
           ",\"component\":\"internal_sdi_hal23u\",\"translator\":\"mxlator_qv3377HAL\","
           "\"translator_info\":{\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[";
}

std::string usage(const char* name, const std::string& value, const char* type) {
    return std::string("{\"type\":\"usage\",\"usage\":\"") + name + "\",\"value\":" + value +
           ",\"value_type\":\"" + type + "\"}";
}

struct Checked {
    int32_t code;
    std::string json;
};

Checked check(const char* name, bool spacesForbidden, uint64_t maxLength = 511) {
    qverr::Status status;
    qvcheckname::checkName(name, spacesForbidden, maxLength, status);
    return {status.code, status.jsonText()};
}

TEST(CheckName, AcceptsLettersDigitsSpacesDashesUnderscoresAndHighBytes) {
    for (const char* name : {"wave 1", "a-b_c", "W", "\xC3\xA9t\xC3\xA9", "x_"}) {
        auto result = check(name, false);
        EXPECT_EQ(result.code, 0) << name;
        EXPECT_EQ(result.json, "") << name;
    }
    EXPECT_EQ(check("a-b_c", true).code, 0);
}

TEST(CheckName, NullAndEmptyNamesCarryOnlyTheHeader) {
    auto null = check(nullptr, false);
    EXPECT_EQ(null.code, qvmxl::kErrorNULLPtr);
    EXPECT_EQ(null.code, -1074098093);
    EXPECT_EQ(null.json, head("qvmxl::kErrorNULLPtr", 48) + "]}}");
    auto empty = check("", true);
    EXPECT_EQ(empty.code, -1074098043);
    EXPECT_EQ(empty.json, head("qvmxl::kErrorEmptyString", 55) + "]}}");
}

TEST(CheckName, ReportsTheFirstForbiddenCharacter) {
    auto dotted = check("a.b", false);
    EXPECT_EQ(dotted.code, -1074098079);
    EXPECT_EQ(dotted.json,
              head("qvmxl::kErrorInvalidCharInString", 70) +
                  usage("kUsageTypePositionOfInvalidCharacter", "\"1\"", "uint64_t") + "," +
                  usage("kUsageTypeInvalidString", "\"a.b\"", "string") + "]}}");
    // Before any space rule, and with the name escaped in the context.
    auto quoted = check(" x\"y", true);
    EXPECT_EQ(quoted.code, -1074098079);
    EXPECT_EQ(quoted.json,
              head("qvmxl::kErrorInvalidCharInString", 70) +
                  usage("kUsageTypePositionOfInvalidCharacter", "\"2\"", "uint64_t") + "," +
                  usage("kUsageTypeInvalidString", "\" x\\\"y\"", "string") + "]}}");
}

TEST(CheckName, ForbiddenSetHasControlsAndPunctuationOnly) {
    int forbidden = 0;
    for (int c = 1; c < 256; ++c) {
        const char name[] = {'a', static_cast<char>(c), 'b', '\0'};
        if (check(name, false).code == qvmxl::kErrorInvalidCharInString) ++forbidden;
    }
    EXPECT_EQ(forbidden, 62);
    for (char c : std::string("-_ 09AZaz")) {
        const char name[] = {'a', c, 'b', '\0'};
        EXPECT_EQ(check(name, false).code, 0) << c;
    }
}

TEST(CheckName, SpaceRulesApplyOnlyWhenSpacesAreForbidden) {
    auto leading = check(" wave", true);
    EXPECT_EQ(leading.code, -1074098080);
    EXPECT_EQ(leading.json, head("qvmxl::kErrorLeadingSpaceInString", 81) + "]}}");
    auto trailing = check("wave ", true);
    EXPECT_EQ(trailing.code, -1074098081);
    EXPECT_EQ(trailing.json, head("qvmxl::kErrorTrailingSpaceInString", 88) + "]}}");
    auto inner = check("wave 1", true);
    EXPECT_EQ(inner.code, -1074098079);
    EXPECT_EQ(inner.json,
              head("qvmxl::kErrorInvalidCharInString", 102) +
                  usage("kUsageTypePositionOfInvalidCharacter", "\"4\"", "uint64_t") + "," +
                  usage("kUsageTypeInvalidString", "\"wave 1\"", "string") +
                  ",{\"type\":\"comment\",\"comment\":\"whitespace is not allowed.\"}]}}");
    EXPECT_EQ(check(" wave ", false).code, 0);
}

TEST(CheckName, LeadingUnderscoreDecidesBeforeTheLength) {
    auto underscore = check("_abc", false, 2);
    EXPECT_EQ(underscore.code, -1074098082);
    EXPECT_EQ(underscore.json, head("qvmxl::kErrorLeadingUnderscoreInString", 111) +
                                   usage("kUsageTypeInvalidString", "\"_abc\"", "string") +
                                   "]}}");
}

TEST(CheckName, LengthLimitIsInclusive) {
    const std::string exact(511, 'w');
    EXPECT_EQ(check(exact.c_str(), true).code, 0);
    const std::string longer(512, 'w');
    auto tooLong = check(longer.c_str(), true);
    EXPECT_EQ(tooLong.code, -1074097806);
    EXPECT_EQ(tooLong.json, head("qvmxl::kErrorNameTooLong", 119) +
                                usage("kUsageTypeMaxLength", "\"511\"", "uint64_t") + "]}}");
}

TEST(CheckName, AnEarlierErrorKeepsItsContext) {
    qverr::Status status;
    status.setCode(qverr::qvapalerr_invalidParameter,
                   QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"));
    const std::string before = status.jsonText();
    qvcheckname::checkName("a.b", false, 511, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(status.jsonText(), before);

    // A warning gives way to the name's error and its context.
    qverr::Status warned;
    warned.setCodeOnly(3);
    qvcheckname::checkName("", false, 511, warned);
    EXPECT_EQ(warned.code, qvmxl::kErrorEmptyString);
    EXPECT_EQ(std::string(warned.jsonText()), head("qvmxl::kErrorEmptyString", 55) + "]}}");
}

}  // namespace
