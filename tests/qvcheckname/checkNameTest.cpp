#include <gtest/gtest.h>

#include <string>

#include "qvcheckname/checkName.h"
#include "qverr/Codes.h"
#include "qvmxl/errors.h"

namespace {

// The context of a name error: raise members, then the translator payload.
std::string context(const char* constant, int line, const std::string& records = "") {
    return std::string("{\"error_constant\":\"") + constant +
           "\",\"file\":\"checkName\",\"line\":" + std::to_string(line) +
           ",\"component\":\"internal_sdi_hal23u\",\"translator\":\"mxlator_qv3377HAL\","
           "\"translator_info\":{\"is_debug\":\"0\",\"version\":1,\"ordered_data\":[" +
           records + "]}}";
}

std::string usage(const char* name, const std::string& value, const char* type) {
    return std::string("{\"type\":\"usage\",\"usage\":\"") + name + "\",\"value\":" + value +
           ",\"value_type\":\"" + type + "\"}";
}

std::string invalidCharacter(int position, const std::string& name) {
    return usage("kUsageTypePositionOfInvalidCharacter", '"' + std::to_string(position) + '"',
                 "uint64_t") +
           "," + usage("kUsageTypeInvalidString", '"' + name + '"', "string");
}

std::pair<int32_t, std::string> check(const char* name, bool spacesForbidden,
                                      uint64_t maxLength = 511) {
    qverr::Status status;
    qvcheckname::checkName(name, spacesForbidden, maxLength, status);
    return {status.code, status.jsonText()};
}

TEST(CheckName, EachRuleWithItsCodeAndContext) {
    using R = std::pair<int32_t, std::string>;
    EXPECT_EQ(check("wave 1", false), R(0, ""));
    EXPECT_EQ(check("a-b_c\xC3\xA9", true), R(0, ""));
    EXPECT_EQ(check(std::string(511, 'w').c_str(), true), R(0, ""));
    EXPECT_EQ(check(nullptr, false), R(qvmxl::kErrorNULLPtr, context("qvmxl::kErrorNULLPtr", 48)));
    EXPECT_EQ(check("", true),
              R(qvmxl::kErrorEmptyString, context("qvmxl::kErrorEmptyString", 55)));
    EXPECT_EQ(check("a.b", false),
              R(qvmxl::kErrorInvalidCharInString,
                context("qvmxl::kErrorInvalidCharInString", 70, invalidCharacter(1, "a.b"))));
    EXPECT_EQ(check(" x\"y", true).second,
              context("qvmxl::kErrorInvalidCharInString", 70, invalidCharacter(2, " x\\\"y")));
    EXPECT_EQ(check(" wave", true), R(qvmxl::kErrorLeadingSpaceInString,
                                      context("qvmxl::kErrorLeadingSpaceInString", 81)));
    EXPECT_EQ(check("wave ", true), R(qvmxl::kErrorTrailingSpaceInString,
                                      context("qvmxl::kErrorTrailingSpaceInString", 88)));
    EXPECT_EQ(check("wave 1", true),
              R(qvmxl::kErrorInvalidCharInString,
                context("qvmxl::kErrorInvalidCharInString", 102,
                        invalidCharacter(4, "wave 1") +
                            ",{\"type\":\"comment\",\"comment\":\"whitespace is not allowed.\"}")));
    EXPECT_EQ(check("_abc", false, 2),
              R(qvmxl::kErrorLeadingUnderscoreInString,
                context("qvmxl::kErrorLeadingUnderscoreInString", 111,
                        usage("kUsageTypeInvalidString", "\"_abc\"", "string"))));
    EXPECT_EQ(
        check(std::string(512, 'w').c_str(), true),
        R(qvmxl::kErrorNameTooLong, context("qvmxl::kErrorNameTooLong", 119,
                                            usage("kUsageTypeMaxLength", "\"511\"", "uint64_t"))));
}

TEST(CheckName, ForbiddenSetIsControlsAndPunctuation) {
    int forbidden = 0;
    for (int c = 1; c < 256; ++c) {
        const char name[] = {'a', static_cast<char>(c), 'b', '\0'};
        if (check(name, false).first != 0) ++forbidden;
    }
    EXPECT_EQ(forbidden, 62);
}

TEST(CheckName, AnEarlierErrorKeepsItsContext) {
    qverr::Status status;
    status.setCode(qverr::qvapalerr_invalidParameter,
                   QVERR_LOCATION("qv3377hal", "qvapalerr_invalidParameter"));
    const std::string before = status.jsonText();
    qvcheckname::checkName("a.b", false, 511, status);
    EXPECT_EQ(status.code, qverr::qvapalerr_invalidParameter);
    EXPECT_EQ(status.jsonText(), before);
}

}  // namespace
