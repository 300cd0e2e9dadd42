// The "key": "text" member that names a refusal in a raised status's JSON
// detail, as the compact writer prints it, and a table check of refusals.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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

// One row of a refusal table: the call, the code it throws and the pair
// naming it; a null key means the detail holds the location alone.
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
        if (row.key == nullptr) {
            EXPECT_TRUE(locationOnly(json)) << json;
        } else {
            EXPECT_NE(json.find(detailPair(row.key, row.text)), std::string::npos) << json;
        }
    }
}

}  // namespace qvtest
