// The "key": "text" member that names a refusal in a raised status's JSON
// detail, as the compact writer prints it, and a table check of refusals.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <regex>
#include <string>

#include "support/TempDir.h"

namespace qvtest {

inline std::string detailPair(const std::string& key, const std::string& text) {
    return "\"" + key + "\":\"" + text + "\"";
}

// Whether the detail holds the source-location fields and nothing else.
inline bool locationOnly(const std::string& json) {
    static const std::regex kLocation(
        R"(\{"error_constant":"[^"]*","file":"[^"]*","line":-?\d+,"component":"[^"]*"\})");
    return std::regex_match(json, kLocation);
}

// Whether the detail holds the source-location fields and this library's
// translator header with no records, and nothing else.
inline bool translatorHeaderOnly(const std::string& json) {
    static const std::regex kHeader(
        R"(\{"error_constant":"[^"]*","file":"[^"]*","line":-?\d+,"component":"[^"]*",)"
        R"("translator":"mxlator_qv3377HAL",)"
        R"("translator_info":\{"is_debug":"0","version":1,"ordered_data":\[\]\}\})");
    return std::regex_match(json, kHeader);
}

// Refusal-row key for a detail that is the location and the bare
// translator header.
inline constexpr const char* kHeaderOnly = "(translator header only)";

// Checks a raised detail against a refusal row: a null key means the
// location alone, kHeaderOnly the location and the bare translator header,
// any other key the pair "key": "text".
inline void expectDetail(const std::string& json, const char* key, const char* text) {
    if (key == nullptr) {
        EXPECT_TRUE(locationOnly(json)) << json;
    } else if (std::strcmp(key, kHeaderOnly) == 0) {
        EXPECT_TRUE(translatorHeaderOnly(json)) << json;
    } else {
        EXPECT_NE(json.find(detailPair(key, text)), std::string::npos) << json;
    }
}

// One row of a refusal table: the call, the code it throws and the detail
// it carries (see expectDetail).
struct Refusal {
    std::function<void()> call;
    int32_t code;
    const char* key;
    const char* text;
};

inline void expectRefusals(std::initializer_list<Refusal> rows) {
    for (const Refusal& row : rows) {
        const auto [code, json] = thrownStatus(row.call);
        EXPECT_EQ(code, row.code) << json;
        expectDetail(json, row.key, row.text);
    }
}

}  // namespace qvtest
